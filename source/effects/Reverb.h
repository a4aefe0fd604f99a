#pragma once
// The reverb selector at the end of the chain: one room, one club and one hall
// reverb run in series on the stereo signal, and only the selected one is
// switched on. A newly selected type starts from empty lines and fades in;
// the one it replaces fades back to dry within 20 ms.

#include "effects/ClubReverb.h"
#include "effects/HallReverb.h"
#include "effects/RoomReverb.h"

namespace tonewright {

struct ReverbParameters {
    bool enable = true;
    int type = 2;        // 0 room, 1 club, 2 hall
    double level = -6.0;  // dB, Reverb::kMinLevel .. kMaxLevel
};

class Reverb {
public:
    // The level is limited to this range (dB).
    static constexpr double kMinLevel = -100.0;
    static constexpr double kMaxLevel = 24.0;
    // Each type's level relative to the selector's level (dB).
    static constexpr double kRoomOffset = -13.25;
    static constexpr double kClubOffset = -28.45;
    static constexpr double kHallOffset = -1.482;

    Reverb();

    void SetParameter(int id, double v);
    double GetParameter(int id) const;
    void SetParameters(const ReverbParameters& p);
    ReverbParameters GetParameters() const { return params; }
    void SetFs(double rate);
    void Settle();
    void Reserve(int n);
    void process(double* l, double* r, int n);

    const RoomReverb& Room() const { return room; }
    const ClubReverb& Club() const { return club; }
    const HallReverb& Hall() const { return hall; }

private:
    void Select();

    double fs = 0.0;
    ReverbParameters params;
    HallReverb hall;
    ClubReverb club;
    RoomReverb room;
};

}  // namespace tonewright
