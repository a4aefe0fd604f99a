#include "au/CoreFoundation.h"

#include <iconv.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
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

// CoreFoundation halts the process on a null object, an object of another
// type than the call takes, or an index outside an array; so does this.
[[noreturn]] void halt(const char* call, const char* what)
{
    std::fprintf(stderr, "CoreFoundation stand-in: %s called with %s\n", call, what);
    std::abort();
}

CFObject* object(CFTypeRef p) { return static_cast<CFObject*>(const_cast<void*>(p)); }

// The object behind a reference a call needs.
CFObject* needed(CFTypeRef p, const char* call)
{
    if (!p) halt(call, "NULL");
    return object(p);
}

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

// The object behind a reference to a `kind`, as a call of that type needs.
template <typename Ref>
CFObject* of(Ref ref, Kind kind, const char* call)
{
    CFObject* o = needed(reinterpret_cast<CFTypeRef>(ref), call);
    if (o->kind != kind) halt(call, "an object of another type");
    return o;
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
    if (CFObject* o = needed(p, "CFRetain"); o->counted) o->references.fetch_add(1, std::memory_order_relaxed);
    return p;
}

void CFRelease(CFTypeRef p)
{
    CFObject* o = needed(p, "CFRelease");
    if (!o->counted) return;
    if (o->references.fetch_sub(1, std::memory_order_acq_rel) == 1) delete o;
}

CFIndex CFGetRetainCount(CFTypeRef p)
{
    const CFObject* o = needed(p, "CFGetRetainCount");
    return o->counted ? o->references.load() : std::numeric_limits<CFIndex>::max();
}

CFTypeID CFGetTypeID(CFTypeRef p) { return CFTypeID{needed(p, "CFGetTypeID")->kind}; }
CFTypeID CFStringGetTypeID() { return kString; }
CFTypeID CFNumberGetTypeID() { return kNumber; }
CFTypeID CFDataGetTypeID() { return kData; }
CFTypeID CFArrayGetTypeID() { return kArray; }
CFTypeID CFDictionaryGetTypeID() { return kDictionary; }
CFTypeID CFURLGetTypeID() { return kURL; }
CFTypeID CFBundleGetTypeID() { return kBundle; }

Boolean CFEqual(CFTypeRef pa, CFTypeRef pb)
{
    const CFObject* a = needed(pa, "CFEqual");
    const CFObject* b = needed(pb, "CFEqual");
    if (a == b) return true;
    if (a->kind != b->kind) return false;
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
    if (!text) halt("CFStringCreateWithCString", "NULL text");
    return orNull([&]() -> CFStringRef {
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
    const CFObject* o = of(string, kString, "CFStringGetCString");
    if (!buffer || size <= 0) return false;
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
    // Found again without allocating: CoreFoundation's constants are made
    // with the program and never fail.
    static std::mutex mutex;
    static auto* constants = new std::map<std::string, CFObject*, std::less<>>();
    std::lock_guard<std::mutex> lock(mutex);
    if (const auto found = constants->find(std::string_view(text)); found != constants->end())
        return handle<CFStringRef>(found->second);
    auto o = std::make_unique<CFObject>(kString, false);
    o->text = text;
    constants->emplace(o->text, o.get());
    return handle<CFStringRef>(o.release());
}

// ---- numbers ----

CFNumberRef CFNumberCreate(CFAllocatorRef, CFNumberType type, const void* value)
{
    if (!value) halt("CFNumberCreate", "NULL value");
    return orNull([&]() -> CFNumberRef {
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
    const CFObject* o = of(number, kNumber, "CFNumberGetValue");
    if (!value) halt("CFNumberGetValue", "NULL value");
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
    if (length < 0 || (!bytes && length > 0)) halt("CFDataCreate", "no bytes for its length");
    return orNull([&] {
        auto o = std::make_unique<CFObject>(kData);
        o->bytes.assign(bytes, bytes + length);
        return handle<CFDataRef>(o.release());
    });
}

CFIndex CFDataGetLength(CFDataRef data)
{
    return static_cast<CFIndex>(of(data, kData, "CFDataGetLength")->bytes.size());
}

const UInt8* CFDataGetBytePtr(CFDataRef data)
{
    const CFObject* o = of(data, kData, "CFDataGetBytePtr");
    return o->bytes.empty() ? nullptr : o->bytes.data();
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
    if (count < 0 || (!values && count > 0)) halt("CFArrayCreate", "no values for its count");
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
    CFObject* o = of(array, kArray, "CFArrayAppendValue");
    if (o->retainsItems && !value) halt("CFArrayAppendValue", "a NULL value for an array that retains");
    try {
        o->items.push_back(value);
    } catch (const std::bad_alloc&) {
        return;  // not added
    }
    if (o->retainsItems) CFRetain(value);
}

CFIndex CFArrayGetCount(CFArrayRef array)
{
    return static_cast<CFIndex>(of(array, kArray, "CFArrayGetCount")->items.size());
}

const void* CFArrayGetValueAtIndex(CFArrayRef array, CFIndex index)
{
    const CFObject* o = of(array, kArray, "CFArrayGetValueAtIndex");
    if (index < 0 || index >= static_cast<CFIndex>(o->items.size()))
        halt("CFArrayGetValueAtIndex", "an index outside the array");
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

// Keys of a dictionary that retains them are objects, compared by value;
// others are plain pointers.
std::vector<std::pair<const void*, const void*>>::iterator findKey(CFObject* o, const void* key, const char* call)
{
    if (o->retainsKeys && !key) halt(call, "a NULL key for a dictionary that retains");
    for (auto it = o->entries.begin(); it != o->entries.end(); ++it)
        if (o->retainsKeys ? CFEqual(it->first, key) : it->first == key) return it;
    return o->entries.end();
}

}  // namespace

void CFDictionarySetValue(CFMutableDictionaryRef dictionary, const void* key, const void* value)
{
    CFObject* o = of(dictionary, kDictionary, "CFDictionarySetValue");
    if (o->retainsItems && !value) halt("CFDictionarySetValue", "a NULL value for a dictionary that retains");
    const auto it = findKey(o, key, "CFDictionarySetValue");
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
    CFObject* o = of(dictionary, kDictionary, "CFDictionaryRemoveValue");
    const auto it = findKey(o, key, "CFDictionaryRemoveValue");
    if (it == o->entries.end()) return;
    const auto [k, v] = *it;
    o->entries.erase(it);
    if (o->retainsKeys) CFRelease(k);
    if (o->retainsItems) CFRelease(v);
}

const void* CFDictionaryGetValue(CFDictionaryRef dictionary, const void* key)
{
    CFObject* o = of(dictionary, kDictionary, "CFDictionaryGetValue");
    const auto it = findKey(o, key, "CFDictionaryGetValue");
    return it == o->entries.end() ? nullptr : it->second;
}

CFIndex CFDictionaryGetCount(CFDictionaryRef dictionary)
{
    return static_cast<CFIndex>(of(dictionary, kDictionary, "CFDictionaryGetCount")->entries.size());
}

// ---- file URLs and bundles ----

CFURLRef CFURLCreateWithFileSystemPath(CFAllocatorRef, CFStringRef path, CFURLPathStyle style, Boolean)
{
    const CFObject* p = of(path, kString, "CFURLCreateWithFileSystemPath");
    if (style != kCFURLPOSIXPathStyle) return nullptr;
    return orNull([&] {
        auto o = std::make_unique<CFObject>(kURL);
        o->text = p->text;
        return handle<CFURLRef>(o.release());
    });
}

Boolean CFURLGetFileSystemRepresentation(CFURLRef url, Boolean, UInt8* buffer, CFIndex size)
{
    const CFObject* o = of(url, kURL, "CFURLGetFileSystemRepresentation");
    if (!buffer || static_cast<CFIndex>(o->text.size()) >= size) return false;
    std::memcpy(buffer, o->text.c_str(), o->text.size() + 1);
    return true;
}

CFBundleRef CFBundleGetBundleWithIdentifier(CFStringRef identifier)
{
    if (!identifier) return nullptr;  // CoreFoundation finds no bundle for none
    const CFObject* id = of(identifier, kString, "CFBundleGetBundleWithIdentifier");
    BundleRegistry& r = bundleRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    const auto found = r.bundles.find(id->text);
    return found == r.bundles.end() || !found->second->location ? nullptr : handle<CFBundleRef>(found->second);
}

CFURLRef CFBundleCopyBundleURL(CFBundleRef bundle)
{
    const CFObject* o = of(bundle, kBundle, "CFBundleCopyBundleURL");
    BundleRegistry& r = bundleRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    return o->location ? static_cast<CFURLRef>(CFRetain(o->location)) : nullptr;
}

long CFStandInLiveObjects() { return liveObjects.load(); }

void CFStandInRegisterBundle(CFStringRef identifier, CFURLRef location)
{
    const CFObject* id = of(identifier, kString, "CFStandInRegisterBundle");
    BundleRegistry& r = bundleRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    CFObject*& bundle = r.bundles[id->text];
    if (!bundle) bundle = new CFObject(kBundle, false);
    if (location) CFRetain(location);
    if (bundle->location) CFRelease(bundle->location);
    bundle->location = location;
}
