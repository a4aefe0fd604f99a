#pragma once
// The library's group and plug-in types: the object the host makes first
// from a deliverable, naming the manufacturer and product and declaring the
// plug-in types, each with its factory of processes. The identity codes the
// library gives meaning to are stored as given.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "protools/PlugInProcess.h"
#include "protools/PlugInTypes.h"

using ProcessFactory = CEffectProcess* (*)();

class CEffectType {
public:
    CEffectType(OSType typeID, OSType productID, int32_t category);
    virtual ~CEffectType() = default;
    CEffectType(const CEffectType&) = delete;
    CEffectType& operator=(const CEffectType&) = delete;

    // Name forms, longest first, separated by newlines.
    void DefineNames(const char* names);
    void AddSetting(int32_t code) { settings.push_back(code); }
    void AddFeature(int32_t code) { features.push_back(code); }
    void DefineFormats(int32_t first, int32_t second, int32_t third) { formats = {first, second, third}; }
    void DefineSecondID(OSType id) { secondID = id; }
    void DefineFactory(ProcessFactory made) { factory = made; }
    // Everything but the three ids and the category.
    void CopySettingsFrom(const CEffectType& other);

    OSType GetTypeID() const { return typeID; }
    OSType GetProductID() const { return productID; }
    int32_t GetCategory() const { return category; }
    const std::string& GetNames() const { return names; }
    const std::vector<int32_t>& GetSettings() const { return settings; }
    const std::vector<int32_t>& GetFeatures() const { return features; }
    const std::vector<int32_t>& GetFormats() const { return formats; }
    OSType GetSecondID() const { return secondID; }
    ProcessFactory GetFactory() const { return factory; }
    // The longest name form as a length-prefixed text (up to 255 bytes).
    void GetProcessTypeName(unsigned char (&name)[256]) const;
    // Format 1 is stereo, anything else mono.
    int32_t GetNumChannels() const { return !formats.empty() && formats[0] == 1 ? 2 : 1; }

    // Host side: a new process of this type at the session rate, set up;
    // null with `result` set when there is none.
    CEffectProcess* MakeProcess(double sampleRate, ComponentResult* result = nullptr);
    // Its first step alone, as a host opening a document takes it: the
    // process made and given its type and rate, not initialised (no
    // controls yet; its chunks may be written). The host initialises it.
    CEffectProcess* NewProcess(double sampleRate, ComponentResult* result = nullptr);

private:
    OSType typeID, productID;
    int32_t category;
    std::string names;
    std::vector<int32_t> settings, features, formats{0, 0, 0};
    OSType secondID = 0;
    ProcessFactory factory = nullptr;
};

class CEffectTypeRTAS : public CEffectType {
public:
    using CEffectType::CEffectType;
};

class CProcessGroupInterface {
public:
    virtual ~CProcessGroupInterface() = default;
    // The library's set-up once the group is made: types, then the rest.
    virtual ComponentResult Initialize() = 0;
};

class CEffectGroup : public CProcessGroupInterface {
public:
    CEffectGroup() = default;
    CEffectGroup(const CEffectGroup&) = delete;
    CEffectGroup& operator=(const CEffectGroup&) = delete;

    ComponentResult Initialize() override;

    const std::string& GetManufacturerNames() const { return manufacturerNames; }
    OSType GetManufacturerID() const { return manufacturerID; }
    const std::string& GetProductNames() const { return productNames; }
    int32_t GetProductVersion() const { return productVersion; }
    const std::vector<int32_t>& GetGroupCodes() const { return groupCodes; }
    size_t GetNumTypes() const { return types.size(); }
    CEffectType* GetType(size_t i) const { return i < types.size() ? types[i].get() : nullptr; }
    bool IsInitialized() const { return initialized; }

protected:
    void DefineManufacturerNamesAndID(const char* names, OSType id);
    void DefineProductNamesAndVersion(const char* names, int32_t version);
    void AddGroupCode(int32_t code) { groupCodes.push_back(code); }
    void AddType(std::unique_ptr<CEffectType> type);
    virtual void CreatePluginTypes() = 0;
    virtual void InitGroup() { initialized = true; }

private:
    std::string manufacturerNames, productNames;
    OSType manufacturerID = 0;
    int32_t productVersion = 0;
    std::vector<int32_t> groupCodes;
    std::vector<std::unique_ptr<CEffectType>> types;
    bool initialized = false;
};

// A group whose types take MIDI input.
class CEffectGroupMIDI : public CEffectGroup {};

// The deliverable's entry as the host calls it: makes the group (through
// the deliverable's NewTemplateGroup) and initialises it. Returns 0 and the
// group, or the error (the library's code, kPlugInUnknownErr for any other
// failure, kPlugInNoGroupErr for no group) with no group.
ComponentResult NewMachOPlugIn(CProcessGroupInterface** group);
void CloseMachOPlugIn(CProcessGroupInterface* group);

// Defined by the deliverable: its group, or null.
CProcessGroupInterface* NewTemplateGroup();
