#pragma once
// The plug-in object: a VST 2.4 effect that owns the engine, the tuner, the
// 80 automatable parameters, the 128 programs, the block buffers, the meters
// and the MIDI learn map.
//
// Threads. Two locks, always taken in this order: `controlMutex` serialises
// the calls that change the whole sound or the engine (programs, rate, block
// size, and the stored programs and names); the audio thread never takes it,
// so it may be held through slow work. `engineMutex` guards the engine, the
// block buffers and the tuner: the audio thread holds it for one block, and
// every other thread only to copy or swap something of bounded size (a
// record's settings, a few pointers). setParameter takes neither: the value
// goes into the parameter's atomic slot with a pending bit, and whoever next
// holds the engine lock applies it. Work that arrives on the audio thread but
// must not run there goes to the effect's worker thread.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "vst2/AudioEffectX.h"
#include "plugin/EffectProgram.h"
#include "plugin/Parameter.h"
#include "plugin/ParameterTable.h"
#include "plugin/SupportFolders.h"
#include "engine/Tonewright.h"
#include "effects/Tuner.h"
#include "dsp/EngineLock.h"

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
    // frames back, else 0.
    virtual float getClipLedStatus();
    // Stores the engine's current sound as program `slot` (the current
    // program when slot is outside 0..127) and makes it current.
    virtual void saveCurrentToBank(const char* name, int slot);
    // Pushes the engine's current values to the 80 parameter slots (and so
    // to the editor, and to the host when automated).
    virtual void ReloadParametersFromTWR(bool automated);
    virtual void setMIDILearnControl(int tag);
    // The map is atomic: the audio thread (learning) and the editor both
    // write it.
    virtual std::atomic<int32_t>* getMIDIMap(bool reload);
    // Binds controller (taken & 255) to target and writes the preference
    // at once: for the editor's thread, never the audio thread.
    virtual bool updateMIDIMap(int controller, int target);
    // Compares the programs with the bank file they came from.
    void CompareBank();

    // Takes the engine lock and brings the engine up to date with the
    // pending parameter changes. For non-audio callers that read or write
    // the engine (chunks, the editor): copies and swaps only.
    std::unique_lock<EngineMutex> lockEngine();
    // A copy of the engine's record with the pending parameter changes
    // applied: settings and a pointer, copied under the engine lock.
    TonewrightParameters currentSound();
    // The engine lock itself, for tests and benchmarks that time its holds.
    EngineMutex& engineLock() { return engineMutex; }
    // Selects a program later, from the worker thread. Safe on the audio
    // thread (no allocation, no lock, no waiting).
    void requestProgramChange(int program);
    // Returns once the worker has handled every request made so far.
    void waitForWorker();

    // ---- the editor's commands (user-interface thread) ----
    // Each reads its file into a copy first: a file that cannot be read or
    // has the wrong root changes nothing (a "Quarrystone TWR:: ..." line on
    // standard error says why) and the call returns false.
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
    // The bank's file from now on (a copy of it the editor imported), and
    // its name after the file's.
    void setBankFile(const std::filesystem::path& file);
    std::filesystem::path getBankFile();
    std::string getBankName();
    // The preamp description in `path` into the sound; the program is then
    // modified.
    bool loadPreamp(const char* path);
    // The impulse file in `path` (WAV or AIFF) becomes the cabinet's
    // impulse, prepared off the engine lock and swapped in; returns once the
    // cabinet plays it. The program is then modified.
    bool loadCabinetImpulse(const char* path);
    // A preset file becomes the sound and its name the working name.
    bool importPreset(const char* path);
    bool exportPreset(const char* path, const char* name);
    // The working name of the current program (stored by saveCurrentToBank);
    // the program is then modified.
    void setWorkingProgramName(const char* name);
    // The names of the sound's preamp and cabinet impulse.
    void getSoundNames(std::string& preamp, std::string& impulse);

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

    Tuner tuner;
    char vendor[64];
    char product[64];
    char effectName[32];
    int32_t vendorVersion = 1100;
    Parameter params[kNumParameters];
    EffectProgram programs[kNumPrograms];

    // Audio-thread state (the block buffers change under engineMutex only).
    std::unique_ptr<double[]> blockIn, blockLeft, blockRight;
    int32_t blockCapacity = 0;
    double clipThreshold;
    std::atomic<double> clipTimer{kClipHoldSeconds};
    double invSampleRate = 1.0 / 44100.0;

    // Replaced whole, under both locks, when the rate changes or the block
    // size grows; the old one is destroyed after the engine lock.
    std::unique_ptr<Tonewright> engine = std::make_unique<Tonewright>();

    std::atomic<bool> moreScreenVisible{false};
    double ledThreshold[3];
    std::atomic<int32_t> inputLed{1}, outputLed{1};
    double inputLedHold = 0.0, outputLedHold = 0.0;  // audio thread only

    char bankName[256];
    // The file the programs belong to (under controlMutex): Banks/bankName,
    // or where a bank loaded from elsewhere lives.
    std::filesystem::path bankFile;
    std::atomic<bool> bankModified{false};
    char currentProgramName[256];
    std::atomic<int32_t> midiMap[kMidiControllers];
    std::atomic<int32_t> midiLearnTarget{-1};
    int32_t chunkSize = 0;
    std::unique_ptr<char[]> chunk;
    std::atomic<bool> programModified{false};
    std::atomic<bool> enabled{true};
    // Whether the second input has carried signal since the last resume
    // (written by the audio thread; cleared by resume).
    std::atomic<bool> secondInputHeard{false};
    // This instance's support folders, as the environment named them when
    // it was made.
    SupportFolders folders;

private:
    // Construction steps: the support folders, the MIDI map, the factory
    // bank, and the editor (from the factory the editor layer installed,
    // plugin/EditorFactory.h).
    void createSupportFolders();
    void loadMidiMap();
    void installAndLoadFactoryBank();
    void createEditor();

    // Where a caller waits for the cabinet to publish a new impulse or
    // setting: after program changes and state restores, never under the
    // engine lock.
    void waitForCabinetRebuild();

    // The one road by which a whole sound reaches the engine (programs, and
    // banks, chunks, MIDI program changes and adapter restores as they
    // come): prepared off the lock, committed under it, what it replaced
    // dropped after it. The caller holds controlMutex.
    enum class SoundScope {
        settings,     // a program change: the oversampling choice stays
        wholeRecord,  // a preset or chunk: it carries the oversampling choice
    };
    void applySound(const TonewrightParameters& sound, SoundScope scope = SoundScope::settings);
    // setProgram, also for the current program when `again`.
    void selectProgram(int program, bool again);
    // Builds a complete engine for `rate` and blocks of up to `block`
    // samples off the lock, gives it the current sound, and swaps it in; the
    // old engine is destroyed after the engine lock. Parameter changes the
    // old engine took meanwhile are applied to the new one. False, with the
    // old engine still in place, when the new one cannot be built. The
    // caller holds controlMutex.
    bool replaceEngine(double rate, int block);

    // The editor hooks: every stored value (parameters and editor tags) is
    // shown by the editor; program changes reach it with the product
    // editor's menus.
    void notifyEditorParameter(int index, float value);
    void notifyEditorProgram(int program);

    void applyPendingParameters();
    void markPending(int index);
    // Makes room for blocks of n samples (a new engine when they grow);
    // false when there is none. The caller holds controlMutex.
    bool reserveBlocks(int n);
    template <bool Accumulate>
    void render(float** inputs, float** outputs, int n);
    template <bool Accumulate>
    void copyBypassed(const float* in0, const float* in1, float* out0, float* out1, int n);
    int ledLevel(double peakValue) const;
    void updateLed(std::atomic<int32_t>& shown, double& hold, int level, int n);
    void workerLoop();
    void compareBankLocked();
    // Hands the MIDI map's preference write to the worker (safe on the audio
    // thread); the worker writes the whole map.
    void requestMidiMapWrite();
    bool writeMidiMap();

    std::mutex controlMutex;
    EngineMutex engineMutex;
    int32_t engineBlock = 0;  // the block size the engine is reserved for
    std::atomic<uint64_t> pendingParameters[2] = {0, 0};
    // Parameters applied to the engine since the last snapshot of its sound
    // (under engineMutex): a replacement engine takes them again.
    uint64_t appliedSinceSnapshot[2] = {0, 0};

    std::atomic<int32_t> editorProgram{-1};
    std::atomic<bool> editorRefresh{false};
    // Tags + 1 of a learned controller, the previous one in the high half.
    std::atomic<uint64_t> editorLearned{0};

    std::atomic<uint32_t> workerRequests{0};
    std::atomic<uint32_t> workerHandled{0};
    std::atomic<int32_t> requestedProgram{-1};
    std::atomic<bool> midiMapToWrite{false};
    std::atomic<bool> workerStopping{false};
    std::thread worker;
};

// Allocates and constructs an Effect talking to `host`.
AudioEffect* createEffectInstance(audioMasterCallback host);

}  // namespace tonewright
