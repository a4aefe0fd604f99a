#pragma once
// The plug-in object: a VST 2.4 effect that owns the engine, the tuner, the
// 80 automatable parameters, the 128 programs, the block buffers, the meters
// and the MIDI learn map.
//
// Threads. The audio thread (the one that runs processReplacing, process and
// processEvents) owns the engine and its buffers and takes no lock: whole
// sounds, prepared programs and new engines reach it through a hand-over
// (plugin/SoundHandover.h) that it reads at the start of a block. Every other
// thread works on the effect's own account of the sound (a record the engine
// is known to follow) under `controlMutex`, which the audio thread never
// takes, and may so be held through slow work. Lock-free on any thread,
// including the audio thread: setParameter, getParameter, setProgram and the
// editor's program choice (a program change is a request the audio thread
// plays from its prepared programs in the next block), getProgram, the
// meters, the tuner reading and the notices. Work that arrives on the audio
// thread but must not run there (the MIDI map's file, a cabinet to prepare,
// freeing what the audio thread gave back) goes to the effect's worker, a
// client of the process's worker pool.
// Everything else takes the control mutex and must not be called on the
// audio thread.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>

#include "vst2/AudioEffectX.h"
#include "plugin/EffectProgram.h"
#include "plugin/Parameter.h"
#include "plugin/ParameterTable.h"
#include "plugin/SoundHandover.h"
#include "plugin/SupportFolders.h"
#include "plugin/WorkerPool.h"
#include "engine/Tonewright.h"
#include "effects/Tuner.h"

namespace tonewright {

class Effect : public AudioEffectX {
public:
    // Blocks up to this size are reserved when announced; longer blocks run
    // through the engine in pieces.
    static constexpr int kMaxReservedBlock = 65536;
    // Host sample rates outside this range are refused.
    static constexpr float kMinSampleRate = 8000.0f;
    static constexpr float kMaxSampleRate = 384000.0f;
    static constexpr double kLedFallSeconds = 0.375;
    static constexpr double kClipHoldSeconds = 0.1;
    static constexpr int kMidiControllers = 256;

    explicit Effect(audioMasterCallback host);
    ~Effect() override;

    void resume() override;
    void setSampleRate(float rate) override;
    void setBlockSize(VstInt32 size) override;
    void processReplacing(float** inputs, float** outputs, VstInt32 n) override;
    void setParameter(VstInt32 index, float value) override;
    float getParameter(VstInt32 index) override;
    VstInt32 getProgram() override;
    // The host's program change: the host is told to read the parameters
    // again, and the program is not marked modified.
    void setProgram(VstInt32 program) override;
    void setProgramName(char* name) override;
    void getProgramName(char* name) override;
    void getParameterLabel(VstInt32 index, char* text) override;
    void getParameterDisplay(VstInt32 index, char* text) override;
    void getParameterName(VstInt32 index, char* text) override;
    VstInt32 getChunk(void** data, bool isPreset) override;
    VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset) override;
    bool string2parameter(VstInt32 index, char* text) override;
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override;
    bool setBypass(bool on) override;
    VstInt32 processEvents(VstEvents* events) override;
    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    VstInt32 getVendorVersion() override;
    VstInt32 canDo(char* text) override;
    // It takes MIDI on every channel (and sends none).
    VstInt32 getNumMidiInputChannels() override { return 16; }
    VstInt32 getPlugCategory() override;
    // kVendorReselectProgram with a program number: selects it even when it
    // is the current one, so that choosing a preset again restores it (the
    // Audio Unit adapter's factory presets). Other requests answer 0.
    VstIntPtr vendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) override;
    static constexpr VstInt32 kVendorReselectProgram = fourCharCode('Q', 'r', 's', 'p');

    // The accumulating form of processReplacing.
    void process(float** inputs, float** outputs, VstInt32 n) override;
    // 1 while a clipping output sample lies at most 0.1 s of processed
    // frames back, else 0 (and 1 before the first block).
    virtual float getClipLedStatus();
    // Whether a clipping output sample lies less than 0.1 s of processed
    // frames back: what the editor's clip light shows.
    bool clipHeard() const { return clipTimer.load(std::memory_order_relaxed) < kClipHoldSeconds; }
    // Stores the current sound as program `slot` (the current program when
    // slot is outside 0..127) and makes it current.
    virtual void saveCurrentToBank(const char* name, int slot);
    // Pushes the current values to the 80 parameter slots (and so to the
    // editor, and to the host when automated).
    virtual void ReloadParametersFromTWR(bool automated);
    virtual void setMIDILearnControl(int tag);
    // The map is atomic: the audio thread (learning) and the editor both
    // write it.
    virtual std::atomic<int32_t>* getMIDIMap(bool reload);
    // Binds controller (taken & 255) to target and stores that one change at
    // once (the stored map re-read and written under its lock, so other
    // instances' bindings stay): for the editor's thread, never the audio
    // thread. False, with a line on standard error, when it could not be
    // stored; it is tried again with the next change and at the end.
    virtual bool updateMIDIMap(int controller, int target);
    // Compares the programs with the bank file they came from.
    void CompareBank();

    // ---- what the editor and the adapters do (user-interface thread) ----
    // Program `program` chosen in the editor: it plays and the host is told
    // of every parameter it changed. Lock-free.
    void loadProgram(int program);
    // Each reads its file into a copy first: a file that cannot be read or
    // has the wrong root changes nothing (a "Quarrystone TWR:: ..." line on
    // standard error says why) and the call returns false. Every change of
    // the sound is told to the host (begin edit, automate, end edit for each
    // parameter that moved, then a display update).
    //
    // The bank in `path` becomes the programs and its file the bank's file;
    // its program 0 becomes the sound, even when 0 was current already.
    bool loadBank(const char* path);
    // Writes the programs to the bank's file. False (the file as it was,
    // bankModified as it was) when it could not be written or the bank has
    // no name.
    bool saveBank();
    // Writes the programs to `path`; the bank keeps its own file.
    bool exportBank(const char* path);
    std::filesystem::path getBankFile();
    std::string getBankName();
    // The preamp description in `path` into the sound; the program is then
    // modified.
    bool loadPreamp(const char* path);
    // The impulse file in `path` (WAV or AIFF) becomes the cabinet's
    // impulse; the program is then modified.
    bool loadCabinetImpulse(const char* path);
    // A preset file becomes the sound and its name the working name.
    bool importPreset(const char* path);
    bool exportPreset(const char* path, const char* name);
    // The working name of the current program (stored by saveCurrentToBank);
    // the program is then modified.
    void setWorkingProgramName(const char* name);
    // The names of the sound's preamp and cabinet impulse.
    void getSoundNames(std::string& preamp, std::string& impulse);
    // The current sound: the record the engine plays (or will play from its
    // next block), parameter changes included.
    TonewrightParameters currentSound();

    // Lock-free readings and flags.
    bool isProgramModified() const { return programModified.load(); }
    void setProgramModified(bool modified) { programModified.store(modified); }
    bool isBankModified() const { return bankModified.load(); }
    // The meters and the tuner are fed while the editor shows them.
    void showMeters(bool shown) { moreScreenVisible.store(shown); }
    bool metersShown() const { return moreScreenVisible.load(); }
    // Meter LED levels 1..4.
    int inputLevel() const { return inputLed.load(std::memory_order_relaxed); }
    int outputLevel() const { return outputLed.load(std::memory_order_relaxed); }
    void tunerReading(int* note, double* needle, char* name) const { tuner.GetReading(note, needle, name); }
    // The index or tag waiting for a controller, -1 when none.
    int midiLearnTarget() const { return learnTarget.load(); }
    // This instance's support folders, fixed when it was made.
    const SupportFolders& supportFolders() const { return folders; }
    // The samples the engine's buffers hold (they grow with the blocks
    // announced).
    int reservedBlock() const { return reservedFrames.load(); }
    bool bypassed() const { return !enabled.load(); }
    // The output level from which a sample counts as clipping.
    double clipLevel() const { return clipThreshold; }

    // What an open editor must show anew, left by any thread (the audio
    // thread's MIDI among them) and taken by the editor's idle: nothing here
    // calls into the editor.
    // The program a program change selected, or -1.
    int takeProgramNotice() { return editorProgram.exchange(-1); }
    // Whether a state restore changed programs, names or sound.
    bool takeRefreshNotice() { return editorRefresh.exchange(false); }
    // A controller learned since the last call: the tag it drove before (-1
    // for none) and the tag it drives now.
    bool takeLearnedNotice(int32_t& previous, int32_t& learned);
    void clearEditorNotices();

    // ---- tests and benchmarks ----
    // Returns once the worker has handled every request made so far.
    void waitForWorker();
    // Runs f(engine) on the engine that plays, after taking what was handed
    // over for it, as the audio thread would at the start of a block. Only
    // while no other thread processes.
    template <typename F>
    void inspectEngine(F&& f)
    {
        beginBlock();
        f(*live->bundle->engine);
    }

private:
    // Declared first, so gone last: once every member has freed what it
    // held, the heap's free memory goes back to the system (the allocator
    // would keep it for the process, a closed instance's hundreds of MB).
    struct MemoryReturn {
        MemoryReturn() = default;
        MemoryReturn(const MemoryReturn&) = delete;
        MemoryReturn& operator=(const MemoryReturn&) = delete;
        ~MemoryReturn();
    } memoryReturn;

    // A program change is numbered: programState holds its number above
    // these bits and its program in them.
    static constexpr int kProgramBits = 16;
    static constexpr uint64_t kProgramMask = (uint64_t{1} << kProgramBits) - 1;
    // Whether change number a came after b (the numbers wrap).
    static bool newer(std::uint32_t a, std::uint32_t b) { return static_cast<std::int32_t>(a - b) > 0; }

    // Who made a change of the sound, which decides what the host is told.
    enum class Origin {
        host,    // the host's own program change or restore: a display update
        plugin,  // the editor, a file, MIDI: every moved parameter (or the
                 // witness when none moved), then a display update
    };

    // Construction steps: the support folders, the MIDI map, the factory
    // bank, and the editor (from the factory the editor layer installed,
    // plugin/EditorFactory.h).
    void createSupportFolders();
    void loadMidiMap();
    void installAndLoadFactoryBank();
    void createEditor();
    // Frees the editor and what the audio thread played with (destruction).
    void releaseViewAndSound() noexcept;

    // ---- the audio thread ----
    template <bool Accumulate>
    void render(float** inputs, float** outputs, int n);
    template <bool Accumulate>
    void copyBypassed(const float* in0, const float* in1, float* out0, float* out1, int n);
    // Takes what was handed over, plays the newest program change and the
    // parameter changes: the start of every block.
    void beginBlock();
    void adopt(Delivery* d);
    void commit(const PreparedProgram* p);
    // True when the engine took a value.
    bool applyPendingParameters();
    int ledLevel(double peakValue) const;
    void updateLed(std::atomic<int32_t>& shown, double& hold, int level, int n);

    // ---- any thread, lock-free ----
    // A program change: its values into the parameter slots, the request for
    // the audio thread, the notices, and the host told.
    void requestProgram(int program, Origin origin, bool again);
    void markPending(int index);
    void markAllPending();
    // Tells the host what changed since `before` (the 80 values then).
    void announce(Origin origin, const float* before);
    void snapshotValues(float* values) const;
    // The editor hooks: every stored value (parameters and editor tags) is
    // shown by the editor; program changes reach it with the product
    // editor's menus.
    void notifyEditorParameter(int index, float value);
    void notifyEditorProgram(int program);

    // ---- the control side (controlMutex held) ----
    // Takes the control mutex with the account of the sound brought up to
    // date: every operation of the control side starts here, so that what
    // the other threads changed before it comes first.
    std::unique_lock<std::mutex> lockControl();
    // Brings `sound` up to date with the program changes and parameter
    // changes made since (on any thread).
    void foldLocked();
    // Sounds and programs made ready for the audio thread at `rate`; these
    // change nothing of the effect (they may run out of memory).
    static std::shared_ptr<const PreparedProgram> Prepare(const TonewrightParameters& record, double rate,
                                                          bool whole);
    static std::shared_ptr<const ProgramTable> PrepareTable(const EffectProgram* bank, double rate);
    // A change of what plays (null: as it is), made whole before anything of
    // the effect changes, then committed without failing: the shadow, the
    // published program values, the sound and its parameter slots, and the
    // delivery posted.
    struct Change {
        std::shared_ptr<EngineBundle> bundle;
        std::shared_ptr<const ProgramTable> table;
        std::shared_ptr<const PreparedProgram> sound;
        std::unique_ptr<Delivery> delivery;
    };
    Change prepareChangeLocked(std::shared_ptr<EngineBundle> bundle, std::shared_ptr<const ProgramTable> table,
                               std::shared_ptr<const PreparedProgram> sound);
    void commitChangeLocked(Change&& change) noexcept;
    // `next` becomes the sound.
    void playSoundLocked(const TonewrightParameters& next);
    // Builds an engine for `rate` and blocks of up to `block` samples with
    // the current sound, and posts it. False, with the old engine still in
    // place, when the new one cannot be built.
    bool replaceEngineLocked(double rate, int block, std::unique_ptr<Tonewright> made = nullptr);
    bool reserveBlocksLocked(int n);
    void compareBankLocked();
    // The programs from `bank` (its file `file`) with program `current`
    // playing; false, with nothing changed, when memory ran out.
    bool takeBankLocked(const EffectProgram* bank, std::filesystem::path file, int current);

    // ---- the worker (a pool thread, plugin/WorkerPool.h) ----
    void serveWorker();
    void wakeWorker();
    // Hands the store of one controller's binding to the worker (safe on the
    // audio thread).
    void requestMidiMapWrite(int controller);
    // Stores the bindings changed since the last store into the stored map;
    // false (the changes kept for the next try) when it could not.
    bool writeMidiMap();
    void prepareCabinetChange();

    Tuner tuner;
    char vendor[64];
    char product[64];
    char effectName[32];
    int32_t vendorVersion = 1100;
    Parameter params[kNumParameters];

    // ---- the control side's account, under controlMutex ----
    std::mutex controlMutex;
    EffectProgram programs[kNumPrograms];
    char bankName[256];
    // The file the programs belong to: Banks/bankName, or where a bank
    // loaded from elsewhere lives.
    std::filesystem::path bankFile;
    char currentProgramName[256];
    int32_t chunkSize = 0;
    std::unique_ptr<char[]> chunk;
    // The record the engine follows: what was last delivered, with the
    // program changes and parameter changes made since folded in.
    TonewrightParameters sound;
    std::uint32_t programsFolded = 0;
    // What was last posted (its bundle, table and sound).
    Delivery shadow;
    double rate = 44100.0;
    int engineBlock = 0;  // the block size the engine is reserved for
    SoundHandover handover;

    // ---- lock-free, any thread ----
    // The parameter values of every stored program, published for program
    // changes on any thread.
    std::atomic<float> programValues[kNumPrograms][kNumParameters];
    // The newest program change: its sequence number << 16 | its program.
    std::atomic<std::uint64_t> programState{0};
    // Parameters set since the audio thread, and the control side, last
    // took them.
    std::atomic<uint64_t> enginePending[2] = {0, 0};
    std::atomic<uint64_t> modelPending[2] = {0, 0};
    std::atomic<bool> bankModified{false};
    std::atomic<bool> programModified{false};
    std::atomic<bool> enabled{true};
    std::atomic<int32_t> midiMap[kMidiControllers];
    std::atomic<int32_t> learnTarget{-1};
    std::atomic<bool> moreScreenVisible{false};
    std::atomic<int32_t> inputLed{1}, outputLed{1};
    std::atomic<double> clipTimer{kClipHoldSeconds};
    std::atomic<int> reservedFrames{0};
    // Whether the second input has carried signal since the last resume
    // (written by the audio thread; cleared by resume).
    std::atomic<bool> secondInputHeard{false};
    std::atomic<int32_t> editorProgram{-1};
    std::atomic<bool> editorRefresh{false};
    // Tags + 1 of a learned controller, the previous one in the high half.
    std::atomic<uint64_t> editorLearned{0};
    // This instance's support folders, as the environment named them when
    // it was made.
    SupportFolders folders;

    // ---- the audio thread's own ----
    Delivery* live = nullptr;                  // what it plays with
    const PreparedProgram* playing = nullptr;  // committed into live's engine
    std::uint32_t programsPlayed = 0;          // the program change played last
    int programPlayed = 0;
    bool untouched = true;                     // live's engine has not played yet
    double invSampleRate = 1.0 / 44100.0;
    double clipThreshold;
    double ledThreshold[3];
    double inputLedHold = 0.0, outputLedHold = 0.0;

    // ---- the worker ----
    std::atomic<bool> cabinetToPrepare{false};
    // The controllers whose binding is not stored yet, one bit each.
    std::atomic<uint64_t> midiMapChanges[kMidiControllers / 64] = {0, 0, 0, 0};
    WorkerPool::Client worker;
};

// Allocates and constructs an Effect talking to `host`.
AudioEffect* createEffectInstance(audioMasterCallback host);

}  // namespace tonewright
