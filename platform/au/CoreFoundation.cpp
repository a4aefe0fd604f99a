#include "au/CoreFoundation.h"

#include <iconv.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace {

enum Kind : CFTypeID { kString = 7, kNumber = 22, kData = 20, kArray = 19, kDictionary = 18, kURL = 29, kBundle = 31 };

std::atomic<long> liveObjects{0};

// One record for every kind: the handles of the interface point at it.
struct CFObject {
    explicit CFObject(Kind k, bool isCounted = true) : kind(k), counted(isCounted)
    {
        if (counted) liveObjects.fetch_add(1, std::memory_order_relaxed);
    }
    ~CFObject()
    {
        for (const void* item : items)
            if (retainsItems) CFRelease(item);
        for (const auto& [key, value] : entries) {
            if (retainsKeys) CFRelease(key);
            if (retainsItems) CFRelease(value);
        }
        if (location) CFRelease(location);
        if (counted) liveObjects.fetch_sub(1, std::memory_order_relaxed);
    }
    CFObject(const CFObject&) = delete;
    CFObject& operator=(const CFObject&) = delete;

    const Kind kind;
    const bool counted;  // constants live for ever and are not counted
    std::atomic<long> references{1};
    std::string text;    // string (UTF-8), URL (path)
    SInt64 integer = 0;  // number
    double real = 0.0;
    bool isReal = false;
    std::vector<UInt8> bytes;                                  // data
    std::vector<const void*> items;                            // array
    std::vector<std::pair<const void*, const void*>> entries;  // dictionary
    bool retainsItems = false, retainsKeys = false;
    CFTypeRef location = nullptr;  // bundle: its URL, retained
};

CFObject* object(CFTypeRef p) { return static_cast<CFObject*>(const_cast<void*>(p)); }

// CoreFoundation reports a failed allocation with a null object, not an
// exception.
template <typename Make>
auto orNull(Make make) noexcept -> decltype(make())
{
    try {
        return make();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

template <typename Ref>
Ref handle(CFObject* o)
{
    return reinterpret_cast<Ref>(o);
}

template <typename Ref>
CFObject* of(Ref ref, Kind kind)
{
    CFObject* o = object(reinterpret_cast<CFTypeRef>(ref));
    return o && o->kind == kind ? o : nullptr;
}

// Text from one encoding to another through iconv; false when a byte or
// character has no place in the other.
bool convert(const std::string& in, const char* from, const char* to, std::string& out)
{
    out.assign(in.size() * 4 + 4, '\0');  // before the converter: this may throw
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char* dst = out.data();
    size_t dstLeft = out.size();
    const size_t done = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    if (done == static_cast<size_t>(-1) || srcLeft != 0) return false;
    out.resize(out.size() - dstLeft);
    return true;
}

bool validUtf8(const std::string& s)
{
    std::string ignored;
    return convert(s, "UTF-8", "UTF-8", ignored);
}

bool isAscii(const std::string& s)
{
    for (unsigned char c : s)
        if (c > 127) return false;
    return true;
}

struct BundleRegistry {
    std::mutex mutex;
    std::map<std::string, CFObject*> bundles;  // never freed, like loaded bundles
};
BundleRegistry& bundleRegistry()
{
    static BundleRegistry* registry = new BundleRegistry();
    return *registry;
}

}  // namespace

const CFArrayCallBacks kCFTypeArrayCallBacks{true};
const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks{true};
const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks{true};

CFTypeRef CFRetain(CFTypeRef p)
{
    if (CFObject* o = object(p); o && o->counted) o->references.fetch_add(1, std::memory_order_relaxed);
    return p;
}

void CFRelease(CFTypeRef p)
{
    CFObject* o = object(p);
    if (!o || !o->counted) return;
    if (o->references.fetch_sub(1, std::memory_order_acq_rel) == 1) delete o;
}

CFIndex CFGetRetainCount(CFTypeRef p)
{
    const CFObject* o = object(p);
    if (!o) return 0;
    return o->counted ? o->references.load() : std::numeric_limits<CFIndex>::max();
}

CFTypeID CFGetTypeID(CFTypeRef p) { return p ? CFTypeID{object(p)->kind} : 0; }
CFTypeID CFStringGetTypeID() { return kString; }
CFTypeID CFNumberGetTypeID() { return kNumber; }
CFTypeID CFDataGetTypeID() { return kData; }
CFTypeID CFArrayGetTypeID() { return kArray; }
CFTypeID CFDictionaryGetTypeID() { return kDictionary; }
CFTypeID CFURLGetTypeID() { return kURL; }
CFTypeID CFBundleGetTypeID() { return kBundle; }

Boolean CFEqual(CFTypeRef pa, CFTypeRef pb)
{
    if (pa == pb) return true;
    const CFObject* a = object(pa);
    const CFObject* b = object(pb);
    if (!a || !b || a->kind != b->kind) return false;
    switch (a->kind) {
    case kString:
    case kURL: return a->text == b->text;
    case kNumber: return a->isReal || b->isReal ? a->real == b->real : a->integer == b->integer;
    case kData: return a->bytes == b->bytes;
    default: return false;
    }
}

// ---- strings ----

CFStringRef CFStringCreateWithCString(CFAllocatorRef, const char* text, CFStringEncoding encoding)
{
    return orNull([&]() -> CFStringRef {
        if (!text) return nullptr;
        std::string utf8;
        switch (encoding) {
        case kCFStringEncodingUTF8:
            utf8 = text;
            if (!validUtf8(utf8)) return nullptr;
            break;
        case kCFStringEncodingASCII:
            utf8 = text;
            if (!isAscii(utf8)) return nullptr;
            break;
        case kCFStringEncodingMacRoman:
            if (!convert(text, "MACINTOSH", "UTF-8", utf8)) return nullptr;
            break;
        default: return nullptr;
        }
        auto* o = new CFObject(kString);
        o->text = std::move(utf8);
        return handle<CFStringRef>(o);
    });
}

Boolean CFStringGetCString(CFStringRef string, char* buffer, CFIndex size, CFStringEncoding encoding)
{
    const CFObject* o = of(string, kString);
    if (!o || !buffer || size <= 0) return false;
    std::string out;
    switch (encoding) {
    case kCFStringEncodingUTF8: out = o->text; break;
    case kCFStringEncodingASCII:
        if (!isAscii(o->text)) return false;
        out = o->text;
        break;
    case kCFStringEncodingMacRoman:
        if (!convert(o->text, "UTF-8", "MACINTOSH", out)) return false;
        break;
    default: return false;
    }
    if (static_cast<CFIndex>(out.size()) >= size) return false;
    std::memcpy(buffer, out.c_str(), out.size() + 1);
    return true;
}

CFStringRef CFStringMakeConstantString(const char* text)
{
    static std::mutex mutex;
    static auto* constants = new std::map<std::string, CFObject*>();
    std::lock_guard<std::mutex> lock(mutex);
    CFObject*& o = (*constants)[text];
    if (!o) {
        o = new CFObject(kString, false);
        o->text = text;
    }
    return handle<CFStringRef>(o);
}

// ---- numbers ----

CFNumberRef CFNumberCreate(CFAllocatorRef, CFNumberType type, const void* value)
{
    return orNull([&]() -> CFNumberRef {
        if (!value) return nullptr;
        auto o = std::make_unique<CFObject>(kNumber);
        switch (type) {
        case kCFNumberSInt32Type: {
            SInt32 v;
            std::memcpy(&v, value, sizeof v);
            o->integer = v;
            break;
        }
        case kCFNumberSInt64Type: std::memcpy(&o->integer, value, sizeof o->integer); break;
        case kCFNumberFloat64Type:
            std::memcpy(&o->real, value, sizeof o->real);
            o->isReal = true;
            break;
        default: return nullptr;
        }
        if (!o->isReal) o->real = static_cast<double>(o->integer);
        return handle<CFNumberRef>(o.release());
    });
}

Boolean CFNumberGetValue(CFNumberRef number, CFNumberType type, void* value)
{
    const CFObject* o = of(number, kNumber);
    if (!o || !value) return false;
    const bool whole =
        !o->isReal || (std::isfinite(o->real) && o->real == std::trunc(o->real) && std::fabs(o->real) < 9.2e18);
    const SInt64 integer = o->isReal ? (whole ? static_cast<SInt64>(o->real) : 0) : o->integer;
    switch (type) {
    case kCFNumberSInt32Type: {
        const auto v = static_cast<SInt32>(integer);
        std::memcpy(value, &v, sizeof v);
        return whole && v == integer;
    }
    case kCFNumberSInt64Type: std::memcpy(value, &integer, sizeof integer); return whole;
    case kCFNumberFloat64Type: {
        const double v = o->isReal ? o->real : static_cast<double>(o->integer);
        std::memcpy(value, &v, sizeof v);
        return o->isReal || static_cast<SInt64>(v) == o->integer;
    }
    default: return false;
    }
}

// ---- data ----

CFDataRef CFDataCreate(CFAllocatorRef, const UInt8* bytes, CFIndex length)
{
    if (length < 0 || (!bytes && length > 0)) return nullptr;
    return orNull([&] {
        auto o = std::make_unique<CFObject>(kData);
        o->bytes.assign(bytes, bytes + length);
        return handle<CFDataRef>(o.release());
    });
}

CFIndex CFDataGetLength(CFDataRef data)
{
    const CFObject* o = of(data, kData);
    return o ? static_cast<CFIndex>(o->bytes.size()) : 0;
}

const UInt8* CFDataGetBytePtr(CFDataRef data)
{
    const CFObject* o = of(data, kData);
    return o && !o->bytes.empty() ? o->bytes.data() : nullptr;
}

// ---- arrays ----

CFMutableArrayRef CFArrayCreateMutable(CFAllocatorRef, CFIndex, const CFArrayCallBacks* callBacks)
{
    return orNull([&] {
        auto* o = new CFObject(kArray);
        o->retainsItems = callBacks && callBacks->retainsValues;
        return handle<CFMutableArrayRef>(o);
    });
}

CFArrayRef CFArrayCreate(CFAllocatorRef allocator, const void** values, CFIndex count,
                         const CFArrayCallBacks* callBacks)
{
    if (count < 0 || (!values && count > 0)) return nullptr;
    CFMutableArrayRef array = CFArrayCreateMutable(allocator, count, callBacks);
    for (CFIndex i = 0; array && i < count; ++i) {
        CFArrayAppendValue(array, values[i]);
        if (CFArrayGetCount(array) != i + 1) {
            CFRelease(array);
            return nullptr;
        }
    }
    return array;
}

void CFArrayAppendValue(CFMutableArrayRef array, const void* value)
{
    CFObject* o = of(array, kArray);
    if (!o) return;
    try {
        o->items.push_back(value);
    } catch (const std::bad_alloc&) {
        return;  // not added
    }
    if (o->retainsItems) CFRetain(value);
}

CFIndex CFArrayGetCount(CFArrayRef array)
{
    const CFObject* o = of(array, kArray);
    return o ? static_cast<CFIndex>(o->items.size()) : 0;
}

const void* CFArrayGetValueAtIndex(CFArrayRef array, CFIndex index)
{
    const CFObject* o = of(array, kArray);
    if (!o || index < 0 || index >= static_cast<CFIndex>(o->items.size())) return nullptr;
    return o->items[static_cast<size_t>(index)];
}

// ---- dictionaries ----

CFMutableDictionaryRef CFDictionaryCreateMutable(CFAllocatorRef, CFIndex, const CFDictionaryKeyCallBacks* keyCallBacks,
                                                 const CFDictionaryValueCallBacks* valueCallBacks)
{
    return orNull([&] {
        auto* o = new CFObject(kDictionary);
        o->retainsKeys = keyCallBacks && keyCallBacks->retainsKeys;
        o->retainsItems = valueCallBacks && valueCallBacks->retainsValues;
        return handle<CFMutableDictionaryRef>(o);
    });
}

namespace {

std::vector<std::pair<const void*, const void*>>::iterator findKey(CFObject* o, const void* key)
{
    for (auto it = o->entries.begin(); it != o->entries.end(); ++it)
        if (CFEqual(it->first, key)) return it;
    return o->entries.end();
}

}  // namespace

void CFDictionarySetValue(CFMutableDictionaryRef dictionary, const void* key, const void* value)
{
    CFObject* o = of(dictionary, kDictionary);
    if (!o || !key) return;
    const auto it = findKey(o, key);
    if (it != o->entries.end()) {
        if (o->retainsItems) CFRetain(value);
        if (o->retainsItems) CFRelease(it->second);
        it->second = value;
        return;
    }
    try {
        o->entries.emplace_back(key, value);
    } catch (const std::bad_alloc&) {
        return;  // not added
    }
    if (o->retainsKeys) CFRetain(key);
    if (o->retainsItems) CFRetain(value);
}

void CFDictionaryRemoveValue(CFMutableDictionaryRef dictionary, const void* key)
{
    CFObject* o = of(dictionary, kDictionary);
    if (!o) return;
    const auto it = findKey(o, key);
    if (it == o->entries.end()) return;
    const auto [k, v] = *it;
    o->entries.erase(it);
    if (o->retainsKeys) CFRelease(k);
    if (o->retainsItems) CFRelease(v);
}

const void* CFDictionaryGetValue(CFDictionaryRef dictionary, const void* key)
{
    CFObject* o = of(dictionary, kDictionary);
    if (!o) return nullptr;
    const auto it = findKey(o, key);
    return it == o->entries.end() ? nullptr : it->second;
}

CFIndex CFDictionaryGetCount(CFDictionaryRef dictionary)
{
    const CFObject* o = of(dictionary, kDictionary);
    return o ? static_cast<CFIndex>(o->entries.size()) : 0;
}

// ---- file URLs and bundles ----

CFURLRef CFURLCreateWithFileSystemPath(CFAllocatorRef, CFStringRef path, CFURLPathStyle style, Boolean)
{
    const CFObject* p = of(path, kString);
    if (!p || style != kCFURLPOSIXPathStyle) return nullptr;
    return orNull([&] {
        auto o = std::make_unique<CFObject>(kURL);
        o->text = p->text;
        return handle<CFURLRef>(o.release());
    });
}

Boolean CFURLGetFileSystemRepresentation(CFURLRef url, Boolean, UInt8* buffer, CFIndex size)
{
    const CFObject* o = of(url, kURL);
    if (!o || !buffer || static_cast<CFIndex>(o->text.size()) >= size) return false;
    std::memcpy(buffer, o->text.c_str(), o->text.size() + 1);
    return true;
}

CFBundleRef CFBundleGetBundleWithIdentifier(CFStringRef identifier)
{
    const CFObject* id = of(identifier, kString);
    if (!id) return nullptr;
    BundleRegistry& r = bundleRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    const auto found = r.bundles.find(id->text);
    return found == r.bundles.end() || !found->second->location ? nullptr : handle<CFBundleRef>(found->second);
}

CFURLRef CFBundleCopyBundleURL(CFBundleRef bundle)
{
    const CFObject* o = of(bundle, kBundle);
    if (!o) return nullptr;
    BundleRegistry& r = bundleRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    return static_cast<CFURLRef>(CFRetain(o->location));
}

long CFStandInLiveObjects() { return liveObjects.load(); }

void CFStandInRegisterBundle(CFStringRef identifier, CFURLRef location)
{
    const CFObject* id = of(identifier, kString);
    if (!id) return;
    BundleRegistry& r = bundleRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    CFObject*& bundle = r.bundles[id->text];
    if (!bundle) bundle = new CFObject(kBundle, false);
    if (location) CFRetain(location);
    if (bundle->location) CFRelease(bundle->location);
    bundle->location = location;
}
