#pragma once
// A small evaluator for circuit formulas written as plain text, one
// definition a line ("a1 = 3.2e12 + 4.8e12 l m - 2.5e9 t^2"; a leading "- "
// and a trailing comma are allowed). Juxtaposition multiplies; + - * / ^ and
// parentheses work as usual. The tests use it as an oracle that reads the
// circuits' published polynomials as written, independent of the code's own
// transcription.

#include <map>
#include <string>

namespace oracle {

using Variables = std::map<std::string, double>;

class Formulas {
public:
    explicit Formulas(const std::string& text);

    bool Has(const std::string& name) const { return definitions.count(name) != 0; }
    // Evaluates a definition; names that are not variables are looked up
    // among the other definitions. Unknown names and syntax errors throw.
    double Eval(const std::string& name, const Variables& vars) const;
    // 0.0 when the name is not defined.
    double EvalOr0(const std::string& name, const Variables& vars) const;

private:
    std::map<std::string, std::string> definitions;
};

}  // namespace oracle
