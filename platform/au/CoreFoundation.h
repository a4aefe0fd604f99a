#pragma once
// Stand-in for the CoreFoundation calls the Audio Unit adapter and its hosts
// make: reference-counted strings, numbers, data, dictionaries, arrays, file
// URLs and bundles, with CoreFoundation's ownership rules (Create and Copy
// give the caller a reference to release, Get does not). Every object that
// is not a constant is counted while it lives, so tests can prove that a
// unit gives back everything it made. Where CoreFoundation crashes, this
// aborts with a line on standard error: a NULL object (CFRelease(NULL) among
// them), an object of another type than the call takes, an index outside an
// array, a NULL key or value for a collection that retains.
//
// Threads: retain and release may be called from any thread; an object is
// otherwise used by one thread at a time, as CoreFoundation requires.

#include <cstddef>

#include "au/MacTypes.h"

using CFIndex = long;
using CFTypeID = unsigned long;
using CFTypeRef = const void*;
using CFPropertyListRef = CFTypeRef;

struct CFAllocatorObject;
struct CFStringObject;
struct CFNumberObject;
struct CFDataObject;
struct CFArrayObject;
struct CFDictionaryObject;
struct CFURLObject;
struct CFBundleObject;
using CFAllocatorRef = const CFAllocatorObject*;
using CFStringRef = const CFStringObject*;
using CFNumberRef = const CFNumberObject*;
using CFDataRef = const CFDataObject*;
using CFArrayRef = const CFArrayObject*;
using CFMutableArrayRef = CFArrayObject*;
using CFDictionaryRef = const CFDictionaryObject*;
using CFMutableDictionaryRef = CFDictionaryObject*;
using CFURLRef = const CFURLObject*;
using CFBundleRef = CFBundleObject*;

constexpr CFAllocatorRef kCFAllocatorDefault = nullptr;

using CFStringEncoding = UInt32;
constexpr CFStringEncoding kCFStringEncodingMacRoman = 0;
constexpr CFStringEncoding kCFStringEncodingASCII = 0x0600;
constexpr CFStringEncoding kCFStringEncodingUTF8 = 0x08000100;

enum CFNumberType : CFIndex {
    kCFNumberSInt32Type = 3,
    kCFNumberSInt64Type = 4,
    kCFNumberFloat64Type = 6,
};

enum CFURLPathStyle : CFIndex { kCFURLPOSIXPathStyle = 0 };

// Collections either retain what they hold (the CFType call-backs) or hold
// plain pointers (no call-backs: a null pointer).
struct CFArrayCallBacks {
    bool retainsValues;
};
struct CFDictionaryKeyCallBacks {
    bool retainsKeys;
};
struct CFDictionaryValueCallBacks {
    bool retainsValues;
};

// ---- every object ----
TW_STANDIN_API CFTypeRef CFRetain(CFTypeRef object);
TW_STANDIN_API void CFRelease(CFTypeRef object);
TW_STANDIN_API CFIndex CFGetRetainCount(CFTypeRef object);
TW_STANDIN_API CFTypeID CFGetTypeID(CFTypeRef object);
// Strings by text, numbers by value, data by bytes, others by identity.
TW_STANDIN_API Boolean CFEqual(CFTypeRef a, CFTypeRef b);
TW_STANDIN_API CFTypeID CFStringGetTypeID();
TW_STANDIN_API CFTypeID CFNumberGetTypeID();
TW_STANDIN_API CFTypeID CFDataGetTypeID();
TW_STANDIN_API CFTypeID CFArrayGetTypeID();
TW_STANDIN_API CFTypeID CFDictionaryGetTypeID();
TW_STANDIN_API CFTypeID CFURLGetTypeID();
TW_STANDIN_API CFTypeID CFBundleGetTypeID();

// ---- strings ----
// Null when the bytes are not text in that encoding (Mac Roman always is).
TW_STANDIN_API CFStringRef CFStringCreateWithCString(CFAllocatorRef allocator, const char* text,
                                                     CFStringEncoding encoding);
// False when the text cannot be written in that encoding or does not fit
// with its terminator.
TW_STANDIN_API Boolean CFStringGetCString(CFStringRef string, char* buffer, CFIndex size, CFStringEncoding encoding);
// A constant string (UTF-8 text): made once, never freed, never counted.
TW_STANDIN_API CFStringRef CFStringMakeConstantString(const char* text);
#define CFSTR(text) CFStringMakeConstantString("" text "")

// ---- numbers ----
TW_STANDIN_API CFNumberRef CFNumberCreate(CFAllocatorRef allocator, CFNumberType type, const void* value);
// False when the number does not fit that type exactly.
TW_STANDIN_API Boolean CFNumberGetValue(CFNumberRef number, CFNumberType type, void* value);

// ---- data ----
TW_STANDIN_API CFDataRef CFDataCreate(CFAllocatorRef allocator, const UInt8* bytes, CFIndex length);
TW_STANDIN_API CFIndex CFDataGetLength(CFDataRef data);
TW_STANDIN_API const UInt8* CFDataGetBytePtr(CFDataRef data);

// ---- arrays ----
TW_STANDIN_API const CFArrayCallBacks kCFTypeArrayCallBacks;
TW_STANDIN_API CFArrayRef CFArrayCreate(CFAllocatorRef allocator, const void** values, CFIndex count,
                                        const CFArrayCallBacks* callBacks);
TW_STANDIN_API CFMutableArrayRef CFArrayCreateMutable(CFAllocatorRef allocator, CFIndex capacity,
                                                      const CFArrayCallBacks* callBacks);
TW_STANDIN_API void CFArrayAppendValue(CFMutableArrayRef array, const void* value);
TW_STANDIN_API CFIndex CFArrayGetCount(CFArrayRef array);
TW_STANDIN_API const void* CFArrayGetValueAtIndex(CFArrayRef array, CFIndex index);

// ---- dictionaries ----
TW_STANDIN_API const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks;
TW_STANDIN_API const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks;
TW_STANDIN_API CFMutableDictionaryRef CFDictionaryCreateMutable(CFAllocatorRef allocator, CFIndex capacity,
                                                                const CFDictionaryKeyCallBacks* keyCallBacks,
                                                                const CFDictionaryValueCallBacks* valueCallBacks);
// Keys are compared with CFEqual (by pointer where the dictionary does not
// retain them); a value set again replaces the old one.
TW_STANDIN_API void CFDictionarySetValue(CFMutableDictionaryRef dictionary, const void* key, const void* value);
TW_STANDIN_API void CFDictionaryRemoveValue(CFMutableDictionaryRef dictionary, const void* key);
TW_STANDIN_API const void* CFDictionaryGetValue(CFDictionaryRef dictionary, const void* key);
TW_STANDIN_API CFIndex CFDictionaryGetCount(CFDictionaryRef dictionary);

// ---- file URLs and bundles ----
TW_STANDIN_API CFURLRef CFURLCreateWithFileSystemPath(CFAllocatorRef allocator, CFStringRef path, CFURLPathStyle style,
                                                      Boolean isDirectory);
TW_STANDIN_API Boolean CFURLGetFileSystemRepresentation(CFURLRef url, Boolean resolveAgainstBase, UInt8* buffer,
                                                        CFIndex size);
// The loaded bundle with that identifier, or null (a Get: not retained).
TW_STANDIN_API CFBundleRef CFBundleGetBundleWithIdentifier(CFStringRef identifier);
TW_STANDIN_API CFURLRef CFBundleCopyBundleURL(CFBundleRef bundle);

// ---- stand-in only ----
// The objects alive now, constants not counted.
TW_STANDIN_API long CFStandInLiveObjects();
// Makes a bundle with that identifier known at `location` (no bundle is
// loaded on Linux); a null location forgets it again.
TW_STANDIN_API void CFStandInRegisterBundle(CFStringRef identifier, CFURLRef location);
