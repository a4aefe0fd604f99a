#include "plugin/ParameterTable.h"

namespace tonewright {

const uint32_t twr_params[kNumParameters] = {
    14, 89, 90, 91, 92, 15, 93, 16, 17, 18,  // amp bypass .. treble
    19, 25, 22, 39, 41, 40, 44, 27, 28, 26,  // presence .. graphic placement
    29, 30, 31, 32, 33, 34, 35, 36, 37, 38,  // graphic bands, level, parametric
    94, 6,  8,  9,  11, 12, 10, 52, 53, 55,  // master, wah, sustainer, chorus
    56, 57, 54, 58, 59, 60, 62, 65, 63, 64,  // chorus, flanger
    66, 61, 67, 68, 69, 71, 73, 72, 75, 74,  // flanger, phaser
    70, 46, 47, 48, 49, 50, 51, 76, 77, 79,  // phaser, tremolo, echo
    80, 82, 78, 83, 86, 87, 88, 1,  2,  3,   // echo, reverb, gate
};

const char* const kParameterShortNames[kNumParameters] = {
    "AmpByp",  "HiFiByp", "LowCTyp", "DeepByp", "BrtByp",  "PreGain", "PrBoost", "PreBass", "PreMid",  "PreTreb",
    "PrePres", "PwrType", "PwrDrv",  "CabByp",  "CabMinP", "CabFLen", "DIFreq",  "GrphByp", "GrphTyp", "GEQPost",
    "GrphB1",  "GrphB2",  "GrphB3",  "GrphB4",  "GrphB5",  "GrphB6",  "GrphB7",  "GrphGn",  "ParaFrq", "ParaGn",
    "MastVol", "WahByp",  "WahFrq",  "CompByp", "CompAmt", "CompAtk", "CompMod", "ChrPost", "ChrByp",  "ChrSpd",
    "ChrSwp",  "ChrDpth", "ChrVcs",  "ChrDly",  "FlgPost", "FlngByp", "FlngSpd", "FlngSwp", "FlngDpt", "FlngDly",
    "FlngRgn", "FlngMon", "FlngPhs", "PhsPost", "PhsByp",  "PhsSpd",  "PhsSwp",  "PhsDpth", "PhsStgs", "PhsRgn",
    "PhsMono", "TrmPost", "TremByp", "TremSpd", "TremDpt", "TremTyp", "TremWav", "DelPost", "DelByp",  "DelDel",
    "DelRpt",  "DelLvl",  "DelType", "DelSty",  "RevByp",  "RevType", "RevLvl",  "GateByp", "GateThr", "GateSlp",
};

}  // namespace tonewright
