#include "protools/PlugInGroup.h"

#include <algorithm>
#include <cstring>
#include <utility>

CEffectType::CEffectType(OSType type, OSType product, int32_t kind)
    : typeID(type), productID(product), category(kind)
{
}

void CEffectType::DefineNames(const char* text) { names = text ? text : ""; }

void CEffectType::CopySettingsFrom(const CEffectType& other)
{
    names = other.names;
    settings = other.settings;
    features = other.features;
    formats = other.formats;
    secondID = other.secondID;
    factory = other.factory;
}

void CEffectType::GetProcessTypeName(unsigned char (&name)[256]) const
{
    const size_t n = std::min<size_t>(names.find('\n') == std::string::npos ? names.size() : names.find('\n'), 255);
    name[0] = static_cast<unsigned char>(n);
    std::memcpy(name + 1, names.data(), n);
}

CEffectProcess* CEffectType::MakeProcess(double sampleRate, ComponentResult* result)
{
    CEffectProcess* process = NewProcess(sampleRate, result);
    const ComponentResult r = process ? process->Initialize() : kPlugInNoErr;
    if (r != kPlugInNoErr) {
        delete process;
        process = nullptr;
        if (result) *result = r;
    }
    return process;
}

CEffectProcess* CEffectType::NewProcess(double sampleRate, ComponentResult* result)
{
    CEffectProcess* process = nullptr;
    ComponentResult r = PlugInGuarded([&] {
        process = factory ? factory() : nullptr;
        if (!process) return static_cast<ComponentResult>(kPlugInNoProcessErr);
        process->AttachType(this, sampleRate);
        return static_cast<ComponentResult>(kPlugInNoErr);
    });
    if (r != kPlugInNoErr) {
        delete process;
        process = nullptr;
    }
    if (result) *result = r;
    return process;
}

ComponentResult CEffectGroup::Initialize()
{
    return PlugInGuarded([&] {
        CreatePluginTypes();
        InitGroup();
        return kPlugInNoErr;
    });
}

void CEffectGroup::DefineManufacturerNamesAndID(const char* names, OSType id)
{
    manufacturerNames = names ? names : "";
    manufacturerID = id;
}

void CEffectGroup::DefineProductNamesAndVersion(const char* names, int32_t version)
{
    productNames = names ? names : "";
    productVersion = version;
}

void CEffectGroup::AddType(std::unique_ptr<CEffectType> type)
{
    if (!type) throw CDAEError(kPlugInUnknownErr);
    types.push_back(std::move(type));
}
