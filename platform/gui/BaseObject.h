#pragma once
// Reference counting shared by views, bitmaps and fonts: an object starts
// with one reference (its creator's); remember() adds one, forget() drops one
// and deletes the object when none is left.

class CBaseObject {
public:
    CBaseObject() = default;
    virtual ~CBaseObject() = default;
    CBaseObject(const CBaseObject&) = delete;
    CBaseObject& operator=(const CBaseObject&) = delete;

    virtual void remember() { ++nbReference; }
    virtual void forget()
    {
        if (--nbReference == 0) delete this;
    }
    long getNbReference() const { return nbReference; }

    // Class identity by name, answered along the class chain ("CKnob" is
    // also a "CControl" and a "CView").
    virtual bool isTypeOf(const char* type) const;
    // A copy of the object, for classes that can make one; none otherwise.
    virtual CBaseObject* newCopy() const { return nullptr; }

private:
    long nbReference = 1;
};
