#include "plugin/Effect.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "dsp/AudioThread.h"
#include "dsp/StringUtil.h"
#include "plugin/EditorFactory.h"

namespace tonewright {

namespace {

constexpr VstInt32 kUniqueId = fourCharCode('Q', 't', 'w', 'r');
constexpr VstInt32 kFlagCanMono = 8;

// Hosts send MIDI to an effect only when it says it takes events.
const char* const kCanDo[] = {"plugAsChannelInsert", "plugAsSend", "1in1out", "1in2out",    "2in1out",
                              "2in2out",             "bypass",     "receiveVstEvents", "receiveVstMidiEvent"};

// Parameters a program change leaves as they are (the record's own
// settings a program does not carry: the oversampling choice).
constexpr auto kKeptByPrograms = byHostIndex<bool>([](const ParameterDescriptor& row) {
    return row.route == Route::record;
});

// Parameters whose change needs the cabinet prepared anew (window, phase).
constexpr auto kCabinetShapers = byHostIndex<bool>([](const ParameterDescriptor& row) {
    return row.unit == Unit::cabinet && (row.index == 1 || row.index == 2);
});

}  // namespace

Effect::Effect(audioMasterCallback host) : AudioEffectX(host, kNumPrograms, kNumParameters)
{
    currentProgramName[0] = '\0';
    createSupportFolders();

    std::memset(vendor, 0, sizeof vendor);
    std::memset(product, 0, sizeof product);
    std::memset(effectName, 0, sizeof effectName);
    copyBounded(vendor, "Velbrook Engineering, PLLC");
    copyBounded(product, "Quarrystone TWR");
    copyBounded(effectName, "Tonewright Suite");
    setUniqueID(kUniqueId);
    vendorVersion = 1100;

    for (int i = 0; i < kNumParameters; ++i) {
        params[i].value.store(0.0f);
        copyBounded(params[i].label, "amount");
        copyBounded(params[i].name, kParameterShortNames[i]);
    }
    for (auto& entry : midiMap) entry.store(-1);
    learnTarget = -1;
    loadMidiMap();

    clipThreshold = std::pow(10.0, -0.005);
    ledThreshold[0] = 0.1;
    ledThreshold[1] = std::pow(10.0, -0.3);
    ledThreshold[2] = std::pow(10.0, -0.005);

    setNumInputs(2);
    setNumOutputs(2);
    canProcessReplacing(true);
    cEffect.flags |= kFlagCanMono;
    programsAreChunks(true);

    {
        // No other thread runs yet; the lock keeps the rules of the calls.
        const auto control = lockControl();
        rate = sampleRate;
        auto engine = std::make_unique<Tonewright>(rate, CabinetProcessor::Worker::none);
        // Every slot the engine's default sound, named "Default Program",
        // then the factory bank over them.
        sound = *engine->GetParameters();
        for (auto& program : programs) {
            program.params = sound;
            copyBounded(program.name, "Default Program");
        }
        copyBounded(bankName, kFactoryBankName);
        installAndLoadFactoryBank();

        // Program 0 plays (with the engine's own oversampling choice and
        // first switch), in that engine.
        TonewrightParameters first = programs[0].params;
        first.enable = sound.enable;
        first.upsampler_enabled = sound.upsampler_enabled;
        sound = first;
        copyBounded(currentProgramName, programs[0].name);
        curProgram = 0;
        if (!replaceEngineLocked(rate, 1024, std::move(engine))) throw std::bad_alloc();
        // The audio thread starts with what was built here.
        live = handover.Take();
        playing = live->sound.get();
    }
    programModified = false;
    enabled = true;
    createEditor();

    try {
        resume();
        WorkerPool::Join(worker, [this] { serveWorker(); });
    } catch (...) {
        // No destructor runs for an effect that was never made.
        releaseViewAndSound();
        throw;
    }
}

Effect::MemoryReturn::~MemoryReturn()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

Effect::~Effect()
{
    // Waits only for this effect's own work in progress.
    WorkerPool::Leave(worker);
    // A controller learned just now, which the worker did not store.
    try {
        writeMidiMap();
    } catch (...) {
    }
    releaseViewAndSound();
}

void Effect::releaseViewAndSound() noexcept
{
    // The editor goes while the effect it reads is still whole (closing it
    // first when the host left it open).
    AEffEditor* gone = editor;
    editor = nullptr;
    delete gone;
    delete live;
    live = nullptr;
    playing = nullptr;
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

// ---- telling the host ----

void Effect::snapshotValues(float* values) const
{
    for (int i = 0; i < kNumParameters; ++i) values[i] = params[i].value.load(std::memory_order_relaxed);
}

void Effect::announce(Origin origin, const float* before)
{
    if (!audioMaster) return;
    // Hosts that follow the parameters (and those that save them beside the
    // chunk) learn of each that moved; a change the host made itself only
    // asks it to read everything again.
    if (origin == Origin::plugin) {
        const auto touch = [this](int i, float now) {
            audioMaster(&cEffect, audioMasterBeginEdit, i, 0, nullptr, 0.0f);
            audioMaster(&cEffect, audioMasterAutomate, i, 0, nullptr, now);
            audioMaster(&cEffect, audioMasterEndEdit, i, 0, nullptr, 0.0f);
        };
        bool moved = false;
        for (int i = 0; i < kNumParameters; ++i) {
            const float now = params[i].value.load(std::memory_order_relaxed);
            if (now == before[i]) continue;
            touch(i, now);
            moved = true;
        }
        // A change no parameter shows (an impulse, a preamp, a bank) still
        // has to reach hosts that mark a session changed only on an edit:
        // the master volume is touched at the value it has.
        if (!moved) touch(kWitnessParameter, params[kWitnessParameter].value.load(std::memory_order_relaxed));
    }
    updateDisplay();
}

// ---- the parameter hand-over ----

void Effect::markPending(int index)
{
    const uint64_t bit = uint64_t{1} << (index & 63);
    enginePending[index >> 6].fetch_or(bit, std::memory_order_release);
    modelPending[index >> 6].fetch_or(bit, std::memory_order_release);
}

void Effect::markAllPending()
{
    for (int word = 0; word < 2; ++word) {
        const uint64_t bits = word == 0 ? ~uint64_t{0} : (uint64_t{1} << (kNumParameters - 64)) - 1;
        enginePending[word].fetch_or(bits, std::memory_order_release);
        modelPending[word].fetch_or(bits, std::memory_order_release);
    }
}

bool Effect::applyPendingParameters()
{
    bool applied = false;
    Tonewright& engine = *live->bundle->engine;
    for (int word = 0; word < 2; ++word) {
        uint64_t bits = enginePending[word].exchange(0, std::memory_order_acq_rel);
        while (bits) {
            const int index = word * 64 + __builtin_ctzll(bits);
            bits &= bits - 1;
            const int id = static_cast<int>(twr_params[index]);
            const float value = params[index].value.load(std::memory_order_relaxed);
            // A slot that already shows the engine's value (a program's or a
            // restore's) leaves the engine alone: going through the float
            // would move the value by a rounding.
            if (static_cast<float>(engine.GetParameterNormalized(id)) != value) {
                engine.SetParameterNormalized(id, value);
                applied = true;
            }
        }
    }
    return applied;
}

std::unique_lock<std::mutex> Effect::lockControl()
{
    std::unique_lock<std::mutex> lock(controlMutex);
    foldLocked();
    return lock;
}

void Effect::foldLocked()
{
    for (;;) {
        const uint64_t state = programState.load(std::memory_order_acquire);
        const auto seen = static_cast<std::uint32_t>(state >> kProgramBits);
        if (seen != programsFolded) {
            programsFolded = seen;
            const int program = static_cast<int>(state & kProgramMask);
            // A program keeps the current oversampling choice and first
            // switch, as the engine does.
            TonewrightParameters next = programs[program].params;
            next.enable = sound.enable;
            next.upsampler_enabled = sound.upsampler_enabled;
            sound = next;
            copyBounded(currentProgramName, programs[program].name);
            shadow.sound = (*shadow.table)[size_t(program)];
        }
        for (int word = 0; word < 2; ++word) {
            uint64_t bits = modelPending[word].exchange(0, std::memory_order_acq_rel);
            while (bits) {
                const int index = word * 64 + __builtin_ctzll(bits);
                bits &= bits - 1;
                const int id = static_cast<int>(twr_params[index]);
                const float value = params[index].value.load(std::memory_order_relaxed);
                if (static_cast<float>(RecordParameterNormalized(sound, id)) != value)
                    ApplyParameterNormalized(sound, id, value);
            }
        }
        // A program change that came meanwhile replaces what was read.
        if (programState.load(std::memory_order_acquire) == state) return;
    }
}

TonewrightParameters Effect::currentSound()
{
    const auto control = lockControl();
    return sound;
}

// ---- programs and sounds for the audio thread ----

std::shared_ptr<const PreparedProgram> Effect::Prepare(const TonewrightParameters& record, double at, bool whole)
{
    auto prepared = std::make_shared<PreparedProgram>();
    prepared->sound = Tonewright::PrepareSound(record, at);
    prepared->whole = whole;
    for (int i = 0; i < kNumParameters; ++i)
        prepared->values[i] = static_cast<float>(RecordParameterNormalized(record, static_cast<int>(twr_params[i])));
    return prepared;
}

std::shared_ptr<const ProgramTable> Effect::PrepareTable(const EffectProgram* bank, double at)
{
    auto table = std::make_shared<ProgramTable>();
    for (int k = 0; k < kNumPrograms; ++k) (*table)[size_t(k)] = Prepare(bank[k].params, at, false);
    return table;
}

Effect::Change Effect::prepareChangeLocked(std::shared_ptr<EngineBundle> bundle,
                                           std::shared_ptr<const ProgramTable> table,
                                           std::shared_ptr<const PreparedProgram> next)
{
    Change change{std::move(bundle), std::move(table), std::move(next), std::make_unique<Delivery>()};
    Delivery& d = *change.delivery;
    d.bundle = change.bundle ? change.bundle : shadow.bundle;
    d.table = change.table ? change.table : shadow.table;
    d.sound = change.sound ? change.sound : shadow.sound;
    d.programsSeen = programsFolded;
    return change;
}

void Effect::commitChangeLocked(Change&& change) noexcept
{
    if (change.bundle) shadow.bundle = std::move(change.bundle);
    if (change.table) {
        shadow.table = std::move(change.table);
        // Program changes on any thread take their values from here.
        for (int k = 0; k < kNumPrograms; ++k)
            for (int i = 0; i < kNumParameters; ++i)
                programValues[k][i].store((*shadow.table)[size_t(k)]->values[i], std::memory_order_relaxed);
    }
    if (change.sound) {
        shadow.sound = std::move(change.sound);
        sound = shadow.sound->sound.record;
        // The slots show the new sound before the audio thread plays it; it
        // compares them all once it does.
        for (int i = 0; i < kNumParameters; ++i) {
            params[i].value.store(shadow.sound->values[i], std::memory_order_relaxed);
            notifyEditorParameter(i, shadow.sound->values[i]);
        }
    }
    handover.Post(std::move(change.delivery));
}

void Effect::playSoundLocked(const TonewrightParameters& next)
{
    commitChangeLocked(prepareChangeLocked(nullptr, nullptr, Prepare(next, rate, true)));
}

void Effect::requestProgram(int program, Origin origin, bool again)
{
    if (!validProgramIndex(program)) return;
    if (!again && program == curProgram.load()) return;
    float before[kNumParameters];
    snapshotValues(before);
    for (int i = 0; i < kNumParameters; ++i) {
        if (kKeptByPrograms[size_t(i)]) continue;
        const float value = programValues[program][i].load(std::memory_order_relaxed);
        params[i].value.store(value, std::memory_order_relaxed);
        notifyEditorParameter(i, value);
    }
    markAllPending();
    uint64_t state = programState.load(std::memory_order_relaxed);
    uint64_t next;
    do {
        next = ((state >> kProgramBits) + 1) << kProgramBits | static_cast<uint64_t>(program);
    } while (!programState.compare_exchange_weak(state, next, std::memory_order_acq_rel));
    curProgram = program;
    programModified = false;
    notifyEditorProgram(program);
    announce(origin, before);
}

// ---- engines ----

bool Effect::replaceEngineLocked(double at, int block, std::unique_ptr<Tonewright> made)
{
    foldLocked();
    Change change;
    try {
        auto bundle = std::make_shared<EngineBundle>();
        bundle->engine = made ? std::move(made) : std::make_unique<Tonewright>(at, CabinetProcessor::Worker::none);
        bundle->engine->Reserve(block);
        std::shared_ptr<const PreparedProgram> prepared = Prepare(sound, at, true);
        {
            // Nothing else sees the new engine yet.
            const Tonewright::Replaced replaced = bundle->engine->CommitWholeSound(prepared->sound);
        }
        bundle->engine->Settle();
        if (!shadow.bundle || at != shadow.bundle->rate) bundle->tunerWindow = Tuner::WindowFor(at);
        bundle->in = std::make_unique<double[]>(static_cast<size_t>(block));
        bundle->left = std::make_unique<double[]>(static_cast<size_t>(block));
        bundle->right = std::make_unique<double[]>(static_cast<size_t>(block));
        bundle->capacity = block;
        bundle->rate = at;
        std::shared_ptr<const ProgramTable> table;
        if (at != rate || !shadow.table) table = PrepareTable(programs, at);
        change = prepareChangeLocked(std::move(bundle), std::move(table), std::move(prepared));
    } catch (...) {
        std::fprintf(stderr, "Quarrystone TWR:: No new engine for %g Hz and blocks of %d; the current one stays.\n",
                     at, block);
        return false;
    }
    rate = at;
    engineBlock = block;
    reservedFrames = block;
    commitChangeLocked(std::move(change));
    return true;
}

bool Effect::reserveBlocksLocked(int n)
{
    n = std::min(n, kMaxReservedBlock);
    return n <= engineBlock || replaceEngineLocked(rate, n);
}

// ---- the worker thread ----

void Effect::serveWorker()
{
    // A change that fails (out of memory) leaves the sound and the stored
    // map as they were.
    try {
        writeMidiMap();
        if (cabinetToPrepare.exchange(false)) prepareCabinetChange();
        if (handover.HasReturns()) {
            const auto control = lockControl();
            handover.Collect();
        }
    } catch (...) {
    }
}

void Effect::wakeWorker() { worker.wake(); }

void Effect::requestMidiMapWrite(int controller)
{
    midiMapChanges[(controller & 255) >> 6].fetch_or(uint64_t{1} << (controller & 63));
    wakeWorker();
}

void Effect::prepareCabinetChange()
{
    const auto control = lockControl();
    const CabinetProcessorParameters& now = sound.cabinet;
    const CabinetProcessorParameters& plays = shadow.sound->sound.record.cabinet;
    if (now.windowsize == plays.windowsize && now.minphase == plays.minphase && now.Impulse() == plays.Impulse())
        return;
    playSoundLocked(sound);
}

void Effect::waitForWorker() { worker.waitUntilServed(); }

// ---- host set-up ----

void Effect::resume()
{
    std::unique_ptr<char[]> released;
    {
        const auto control = lockControl();
        released.swap(chunk);
        chunkSize = 0;
        reserveBlocksLocked(blockSize);
    }
    secondInputHeard = false;
    // The request for MIDI input older hosts wait for.
    if (audioMaster) audioMaster(&cEffect, audioMasterWantMidi, 0, 1, nullptr, 0.0f);
    AudioEffectX::resume();
}

void Effect::setSampleRate(float newRate)
{
    if (!(newRate >= kMinSampleRate && newRate <= kMaxSampleRate)) {
        std::fprintf(stderr, "Quarrystone TWR:: sample rate %g refused\n", static_cast<double>(newRate));
        return;
    }
    const auto control = lockControl();
    // A rate the engine cannot be built for (out of memory) is refused too.
    if (static_cast<double>(newRate) != rate && !replaceEngineLocked(newRate, engineBlock)) return;
    AudioEffectX::setSampleRate(newRate);
}

void Effect::setBlockSize(VstInt32 size)
{
    if (size <= 0) {
        std::fprintf(stderr, "Quarrystone TWR:: block size %d refused\n", static_cast<int>(size));
        return;
    }
    const auto control = lockControl();
    if (reserveBlocksLocked(size)) AudioEffectX::setBlockSize(size);
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
        if (old != value) {
            programModified = true;
            markPending(index);
            // The window and phase of the cabinet need it prepared anew.
            if (kCabinetShapers[size_t(index)]) {
                cabinetToPrepare.store(true);
                wakeWorker();
            }
        }
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
        const auto control = lockControl();
        for (int i = 0; i < kNumParameters; ++i)
            values[i] = static_cast<float>(RecordParameterNormalized(sound, static_cast<int>(twr_params[i])));
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

void Effect::setProgram(VstInt32 program) { requestProgram(program, Origin::host, false); }

void Effect::loadProgram(int program) { requestProgram(program, Origin::plugin, false); }

VstIntPtr Effect::vendorSpecific(VstInt32 index, VstIntPtr value, void*, float)
{
    if (index != kVendorReselectProgram || value < 0 || value >= kNumPrograms) return 0;
    requestProgram(static_cast<int>(value), Origin::host, true);
    return 1;
}

void Effect::saveCurrentToBank(const char* name, int slot)
{
    float before[kNumParameters];
    {
        const auto control = lockControl();
        snapshotValues(before);
        const int target = validProgramIndex(slot) ? slot : curProgram.load();
        curProgram = target;
        auto table = std::make_shared<ProgramTable>(*shadow.table);
        (*table)[size_t(target)] = Prepare(sound, rate, false);
        Change change = prepareChangeLocked(nullptr, std::move(table), nullptr);
        programs[target].params = sound;  // what it replaces is dropped here, off the audio thread
        copyBounded(programs[target].name, name);
        commitChangeLocked(std::move(change));
    }
    programModified = false;
    CompareBank();
    // The session holds the bank and the program number.
    announce(Origin::plugin, before);
}

void Effect::setProgramName(char* name)
{
    const auto control = lockControl();
    const int current = curProgram.load();
    if (!validProgramIndex(current)) return;
    copyBounded(programs[current].name, name);
    copyBounded(currentProgramName, programs[current].name);
}

void Effect::getProgramName(char* name)
{
    const auto control = lockControl();
    if (validProgramIndex(curProgram.load())) copyBounded(name, kVstMaxProgNameLen, currentProgramName);
}

bool Effect::getProgramNameIndexed(VstInt32, VstInt32 index, char* text)
{
    if (!validProgramIndex(index)) return false;
    const auto control = lockControl();
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
