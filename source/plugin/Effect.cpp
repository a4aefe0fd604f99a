#include "plugin/Effect.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "dsp/StringUtil.h"
#include "plugin/EditorFactory.h"

namespace tonewright {

namespace {

constexpr VstInt32 kUniqueId = fourCharCode('Q', 't', 'w', 'r');
constexpr VstInt32 kFlagCanMono = 8;

// Hosts send MIDI to an effect only when it says it takes events.
const char* const kCanDo[] = {"plugAsChannelInsert", "plugAsSend", "1in1out", "1in2out",    "2in1out",
                              "2in2out",             "bypass",     "receiveVstEvents", "receiveVstMidiEvent"};

}  // namespace

Effect::Effect(audioMasterCallback host) : AudioEffectX(host, kNumPrograms, kNumParameters)
{
    currentProgramName[0] = '\0';
    createSupportFolders();

    chunk.reset();
    blockIn = std::make_unique<double[]>(1024);
    blockLeft = std::make_unique<double[]>(1024);
    blockRight = std::make_unique<double[]>(1024);
    blockCapacity = 1024;
    engine->Reserve(1024);
    engineBlock = 1024;

    std::memset(vendor, 0, sizeof vendor);
    std::memset(product, 0, sizeof product);
    std::memset(effectName, 0, sizeof effectName);
    copyBounded(vendor, "Velbrook Engineering, PLLC");
    copyBounded(product, "Quarrystone TWR");
    copyBounded(effectName, "Tonewright Suite");
    setUniqueID(kUniqueId);
    vendorVersion = 1100;

    bankName[0] = '\0';
    for (int i = 0; i < kNumPrograms; ++i) saveCurrentToBank("Default Program", i);

    for (int i = 0; i < kNumParameters; ++i) {
        params[i].value.store(0.0f);
        copyBounded(params[i].label, "amount");
        copyBounded(params[i].name, kParameterShortNames[i]);
    }

    for (auto& entry : midiMap) entry.store(-1);
    midiLearnTarget = -1;
    loadMidiMap();

    invSampleRate = 1.0 / sampleRate;
    engine->SetFs(sampleRate);  // no other thread runs yet
    tuner.SetFs(sampleRate);

    clipThreshold = std::pow(10.0, -0.005);
    clipTimer = kClipHoldSeconds;
    ledThreshold[0] = 0.1;
    ledThreshold[1] = std::pow(10.0, -0.3);
    ledThreshold[2] = std::pow(10.0, -0.005);
    inputLed = 1;
    outputLed = 1;
    inputLedHold = outputLedHold = 0.0;
    moreScreenVisible = false;
    programModified = false;
    enabled = true;

    setNumInputs(2);
    setNumOutputs(2);
    canProcessReplacing(true);
    cEffect.flags |= kFlagCanMono;
    programsAreChunks(true);

    ReloadParametersFromTWR(false);

    copyBounded(bankName, kFactoryBankName);
    installAndLoadFactoryBank();

    setProgram(0);
    createEditor();

    resume();
    worker = std::thread([this] { workerLoop(); });
}

Effect::~Effect()
{
    workerStopping = true;
    workerRequests.fetch_add(1);
    workerRequests.notify_all();
    if (worker.joinable()) worker.join();
    // A controller learned just now, which the worker did not store.
    try {
        writeMidiMap();
    } catch (...) {
    }
    // The editor goes while the effect it reads is still whole (closing it
    // first when the host left it open).
    AEffEditor* gone = editor;
    editor = nullptr;
    delete gone;
}

AudioEffect* createEffectInstance(audioMasterCallback host)
{
    return new Effect(host);
}

// ---- construction steps that other parts of the plug-in fill in ----

void Effect::loadMidiMap() { getMIDIMap(true); }

void Effect::createEditor()
{
    const EditorFactory factory = GetEditorFactory();
    if (!factory) return;
    try {
        setEditor(factory(*this));
    } catch (...) {
        setEditor(nullptr);  // an effect without an editor still plays
    }
}

void Effect::waitForCabinetRebuild() { engine->cabinet.WaitForRebuild(); }

void Effect::notifyEditorParameter(int index, float value)
{
    // The editor's setParameter is safe on any thread (it hands values from
    // other threads to its own through a mailbox).
    if (editor) editor->setParameter(index, value);
}

void Effect::notifyEditorProgram(int program) { editorProgram.store(program); }

bool Effect::takeLearnedNotice(int32_t& previous, int32_t& learned)
{
    const uint64_t word = editorLearned.exchange(0);
    if (word == 0) return false;
    previous = static_cast<int32_t>(word >> 32) - 1;
    learned = static_cast<int32_t>(word & 0xFFFFFFFFu) - 1;
    return true;
}

void Effect::clearEditorNotices()
{
    editorProgram.store(-1);
    editorRefresh.store(false);
    editorLearned.store(0);
}

// ---- the engine lock and the parameter hand-over ----

std::unique_lock<EngineMutex> Effect::lockEngine()
{
    std::unique_lock<EngineMutex> lock(engineMutex);
    applyPendingParameters();
    return lock;
}

TonewrightParameters Effect::currentSound()
{
    auto lock = lockEngine();
    return *engine->GetParameters();
}

void Effect::markPending(int index)
{
    pendingParameters[index >> 6].fetch_or(uint64_t{1} << (index & 63), std::memory_order_release);
}

void Effect::applyPendingParameters()
{
    for (int word = 0; word < 2; ++word) {
        uint64_t bits = pendingParameters[word].exchange(0, std::memory_order_acq_rel);
        appliedSinceSnapshot[word] |= bits;
        while (bits) {
            const int index = word * 64 + __builtin_ctzll(bits);
            bits &= bits - 1;
            const int id = static_cast<int>(twr_params[index]);
            const float value = params[index].value.load(std::memory_order_relaxed);
            // A slot that already shows the engine's value (the reload after
            // a program change or a restore) leaves the engine alone: going
            // through the float would move the value by a rounding.
            if (static_cast<float>(engine->GetParameterNormalized(id)) != value)
                engine->SetParameterNormalized(id, value);
        }
    }
}

// ---- whole sounds and whole engines ----

void Effect::applySound(const TonewrightParameters& sound, SoundScope scope)
{
    const Tonewright::PreparedSound prepared = engine->PrepareSound(sound);
    Tonewright::Replaced replaced;
    {
        auto lock = lockEngine();
        replaced = scope == SoundScope::wholeRecord ? engine->CommitWholeSound(prepared)
                                                    : engine->CommitSound(prepared);
    }
    waitForCabinetRebuild();
}

bool Effect::replaceEngine(double rate, int block)
{
    // Parameter changes still pending stay pending: the new engine takes
    // them (and those the old one takes meanwhile) as the old one would.
    TonewrightParameters sound;
    {
        std::lock_guard<EngineMutex> lock(engineMutex);
        sound = *engine->GetParameters();
        appliedSinceSnapshot[0] = appliedSinceSnapshot[1] = 0;
    }

    std::unique_ptr<Tonewright> fresh;
    std::vector<TunerNote> window;
    std::unique_ptr<double[]> in, left, right;
    try {
        fresh = std::make_unique<Tonewright>(rate);
        fresh->Reserve(block);
        {
            // Nothing else sees the new engine yet: no lock.
            const Tonewright::Replaced replaced = fresh->CommitWholeSound(fresh->PrepareSound(sound));
        }
        fresh->Settle();
        if (rate != engine->GetFs()) window = Tuner::WindowFor(rate);
        if (block > blockCapacity) {
            in = std::make_unique<double[]>(static_cast<size_t>(block));
            left = std::make_unique<double[]>(static_cast<size_t>(block));
            right = std::make_unique<double[]>(static_cast<size_t>(block));
        }
    } catch (...) {
        std::fprintf(stderr, "Quarrystone TWR:: No new engine for %g Hz and blocks of %d; the current one stays.\n",
                     rate, block);
        return false;
    }

    {
        std::lock_guard<EngineMutex> lock(engineMutex);
        for (int word = 0; word < 2; ++word) pendingParameters[word].fetch_or(appliedSinceSnapshot[word]);
        engine.swap(fresh);
        applyPendingParameters();
        tuner.SetFs(rate, window);
        invSampleRate = 1.0 / rate;
        if (in) {
            blockIn.swap(in);
            blockLeft.swap(left);
            blockRight.swap(right);
            blockCapacity = block;
        }
        engineBlock = block;
    }
    // The old engine, tuner window and block buffers are freed here.
    return true;
}

// ---- the worker thread ----

void Effect::workerLoop()
{
    uint32_t seen = 0;
    for (;;) {
        workerRequests.wait(seen);
        seen = workerRequests.load();
        if (workerStopping) break;
        const int program = requestedProgram.exchange(-1);
        // A change that fails (out of memory) leaves the current program
        // and the stored map as they were.
        try {
            if (program >= 0) setProgram(program);
            writeMidiMap();
        } catch (...) {
        }
        workerHandled.store(seen);
        workerHandled.notify_all();
    }
}

void Effect::requestProgramChange(int program)
{
    if (!validProgramIndex(program)) return;
    requestedProgram.store(program);
    workerRequests.fetch_add(1);
    workerRequests.notify_one();
}

void Effect::requestMidiMapWrite(int controller)
{
    midiMapChanges[(controller & 255) >> 6].fetch_or(uint64_t{1} << (controller & 63));
    workerRequests.fetch_add(1);
    workerRequests.notify_one();
}

void Effect::waitForWorker()
{
    const uint32_t target = workerRequests.load();
    for (uint32_t handled = workerHandled.load(); static_cast<int32_t>(handled - target) < 0;
         handled = workerHandled.load())
        workerHandled.wait(handled);
}

// ---- host set-up ----

void Effect::resume()
{
    std::unique_ptr<char[]> released;
    {
        std::lock_guard<std::mutex> control(controlMutex);
        released.swap(chunk);
        chunkSize = 0;
        reserveBlocks(blockSize);
    }
    secondInputHeard = false;
    // The request for MIDI input older hosts wait for.
    if (audioMaster) audioMaster(&cEffect, audioMasterWantMidi, 0, 1, nullptr, 0.0f);
    AudioEffectX::resume();
}

void Effect::setSampleRate(float rate)
{
    if (!(rate >= kMinSampleRate && rate <= kMaxSampleRate)) {
        std::fprintf(stderr, "Quarrystone TWR:: sample rate %g refused\n", static_cast<double>(rate));
        return;
    }
    std::lock_guard<std::mutex> control(controlMutex);
    // A rate the engine cannot be built for (out of memory) is refused too.
    if (static_cast<double>(rate) != engine->GetFs() && !replaceEngine(rate, engineBlock)) return;
    AudioEffectX::setSampleRate(rate);
}

void Effect::setBlockSize(VstInt32 size)
{
    if (size <= 0) {
        std::fprintf(stderr, "Quarrystone TWR:: block size %d refused\n", static_cast<int>(size));
        return;
    }
    std::lock_guard<std::mutex> control(controlMutex);
    if (reserveBlocks(size)) AudioEffectX::setBlockSize(size);
}

bool Effect::reserveBlocks(int n)
{
    n = std::min(n, kMaxReservedBlock);
    return n <= engineBlock || replaceEngine(engine->GetFs(), n);
}

// ---- parameters ----

void Effect::setParameter(VstInt32 index, float value)
{
    if (!std::isfinite(value)) return;
    // Parameters hold 0..1; editor tags pass their values (page numbers,
    // menu entries) on as they are.
    if (validParameterIndex(index)) {
        value = std::clamp(value, 0.0f, 1.0f);
        const float old = params[index].value.exchange(value);
        if (old != value) programModified = true;
        markPending(index);
    }
    notifyEditorParameter(index, value);
}

float Effect::getParameter(VstInt32 index)
{
    return validParameterIndex(index) ? params[index].value.load() : 0.0f;
}

void Effect::getParameterLabel(VstInt32 index, char* text)
{
    copyBounded(text, kVstMaxParamStrLen, validParameterIndex(index) ? params[index].label : "");
}

void Effect::getParameterDisplay(VstInt32, char* text) { text[0] = '\0'; }

void Effect::getParameterName(VstInt32 index, char* text)
{
    copyBounded(text, kVstMaxParamStrLen, validParameterIndex(index) ? params[index].name : "");
}

bool Effect::string2parameter(VstInt32 index, char* text)
{
    if (!validParameterIndex(index)) return false;
    float value = static_cast<float>(parseLeadingDouble(text).value_or(0.0));
    if (std::isnan(value)) value = 0.0f;
    setParameter(index, std::clamp(value, 0.0f, 1.0f));
    return true;
}

void Effect::ReloadParametersFromTWR(bool automated)
{
    float values[kNumParameters];
    {
        auto lock = lockEngine();
        for (int i = 0; i < kNumParameters; ++i)
            values[i] = static_cast<float>(engine->GetParameterNormalized(static_cast<int>(twr_params[i])));
    }
    for (int i = 0; i < kNumParameters; ++i) {
        if (automated)
            setParameterAutomated(i, values[i]);
        else
            setParameter(i, values[i]);
    }
}

// ---- programs ----

VstInt32 Effect::getProgram() { return curProgram.load(); }

void Effect::setProgram(VstInt32 program) { selectProgram(program, false); }

VstIntPtr Effect::vendorSpecific(VstInt32 index, VstIntPtr value, void*, float)
{
    if (index != kVendorReselectProgram || value < 0 || value >= kNumPrograms) return 0;
    selectProgram(static_cast<int>(value), true);
    return 1;
}

void Effect::selectProgram(int program, bool again)
{
    if (!validProgramIndex(program)) return;
    std::lock_guard<std::mutex> control(controlMutex);
    if (program == curProgram.load() && !again) return;
    applySound(programs[program].params);
    curProgram = program;
    copyBounded(currentProgramName, programs[program].name);
    notifyEditorProgram(program);
    ReloadParametersFromTWR(false);
    programModified = false;
}

void Effect::saveCurrentToBank(const char* name, int slot)
{
    {
        std::lock_guard<std::mutex> control(controlMutex);
        const TonewrightParameters sound = currentSound();
        const int target = validProgramIndex(slot) ? slot : curProgram.load();
        curProgram = target;
        programs[target].params = sound;  // what it replaces is dropped off the engine lock
        copyBounded(programs[target].name, name);
    }
    programModified = false;
    CompareBank();
}

void Effect::setProgramName(char* name)
{
    std::lock_guard<std::mutex> control(controlMutex);
    const int current = curProgram.load();
    if (!validProgramIndex(current)) return;
    copyBounded(programs[current].name, name);
    copyBounded(currentProgramName, programs[current].name);
}

void Effect::getProgramName(char* name)
{
    std::lock_guard<std::mutex> control(controlMutex);
    if (validProgramIndex(curProgram.load())) copyBounded(name, kVstMaxProgNameLen, currentProgramName);
}

bool Effect::getProgramNameIndexed(VstInt32, VstInt32 index, char* text)
{
    if (!validProgramIndex(index)) return false;
    std::lock_guard<std::mutex> control(controlMutex);
    copyBounded(text, kVstMaxProgNameLen, programs[index].name);
    return true;
}

// ---- identity ----

bool Effect::setBypass(bool on)
{
    enabled = !on;
    return true;
}

bool Effect::getEffectName(char* name)
{
    copyBounded(name, kVstMaxEffectNameLen, effectName);
    return true;
}

bool Effect::getVendorString(char* text)
{
    copyBounded(text, kVstMaxVendorStrLen, vendor);
    return true;
}

bool Effect::getProductString(char* text)
{
    copyBounded(text, kVstMaxProductStrLen, product);
    return true;
}

VstInt32 Effect::getVendorVersion() { return vendorVersion; }

VstInt32 Effect::canDo(char* text)
{
    for (const char* answer : kCanDo)
        if (std::strcmp(text, answer) == 0) return 1;
    return 0;
}

VstInt32 Effect::getPlugCategory() { return kPlugCategEffect; }

}  // namespace tonewright
