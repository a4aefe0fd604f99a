#pragma once
// A stage's record fields in the order of its parameter ids (0, 1, ...), so
// that reading a value by id and applying a whole record through the
// stage's own checked setter follow one list.

#include <tuple>

#include "dsp/ParameterRules.h"

namespace tonewright {

template <class Record, class... Values>
class StageFields {
public:
    constexpr explicit StageFields(Values Record::*... members) : fields(members...) {}

    // Parameter `id` of the record as a double (a flag as 0 or 1); 0 for an
    // id without a field.
    double Get(const Record& r, int id) const
    {
        return std::apply(
            [&](auto... member) {
                double value = 0.0;
                int i = 0;
                ((value = i++ == id ? asDouble(r.*member) : value), ...);
                return value;
            },
            fields);
    }

    // stage.SetParameter(id, value) for every field of the record, in id
    // order: the whole record through the stage's own checks.
    template <class Stage>
    void Apply(const Record& r, Stage& stage) const
    {
        std::apply(
            [&](auto... member) {
                int i = 0;
                (stage.SetParameter(i++, asDouble(r.*member)), ...);
            },
            fields);
    }

private:
    static double asDouble(bool b) { return flagValue(b); }
    template <class T>
    static double asDouble(T x)
    {
        return static_cast<double>(x);
    }

    std::tuple<Values Record::*...> fields;
};

template <class Record, class... Values>
constexpr StageFields<Record, Values...> stageFields(Values Record::*... members)
{
    return StageFields<Record, Values...>(members...);
}

}  // namespace tonewright
