#include "FormulaText.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

namespace oracle {

namespace {

std::string trim(const std::string& s)
{
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

class Parser {
public:
    Parser(const std::string& text, const Variables& v, const Formulas& f) : s(text), vars(v), formulas(f) {}

    double Run()
    {
        const double v = Expr();
        Skip();
        if (i != s.size()) Fail("trailing text");
        return v;
    }

private:
    void Skip()
    {
        while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    }
    char Peek()
    {
        Skip();
        return i < s.size() ? s[i] : '\0';
    }
    [[noreturn]] void Fail(const char* what) const
    {
        throw std::runtime_error(std::string(what) + " at " + std::to_string(i) + " in: " + s);
    }
    bool StartsPrimary()
    {
        const char c = Peek();
        return c == '(' || c == '.' || std::isalnum(static_cast<unsigned char>(c));
    }

    double Expr()
    {
        double sign = 1.0;
        if (Peek() == '-' || Peek() == '+') sign = s[i++] == '-' ? -1.0 : 1.0;
        double v = sign * Term();
        for (;;) {
            const char c = Peek();
            if (c != '+' && c != '-') return v;
            ++i;
            const double t = Term();
            v = c == '+' ? v + t : v - t;
        }
    }

    double Term()
    {
        double v = Power();
        for (;;) {
            const char c = Peek();
            if (c == '*') {
                ++i;
                v *= Power();
            } else if (c == '/') {
                ++i;
                v /= Power();
            } else if (StartsPrimary()) {
                v *= Power();
            } else {
                return v;
            }
        }
    }

    double Power()
    {
        const double base = Primary();
        if (Peek() != '^') return base;
        ++i;
        return std::pow(base, Primary());
    }

    double Primary()
    {
        const char c = Peek();
        if (c == '(') {
            ++i;
            const double v = Expr();
            if (Peek() != ')') Fail("missing )");
            ++i;
            return v;
        }
        if (std::isdigit(static_cast<unsigned char>(c)) || c == '.') {
            const char* begin = s.c_str() + i;
            char* end = nullptr;
            const double v = std::strtod(begin, &end);
            if (end == begin) Fail("bad number");
            i += static_cast<size_t>(end - begin);
            return v;
        }
        if (std::isalpha(static_cast<unsigned char>(c))) {
            size_t j = i;
            while (j < s.size() && std::isalnum(static_cast<unsigned char>(s[j]))) ++j;
            const std::string name = s.substr(i, j - i);
            i = j;
            const auto it = vars.find(name);
            if (it != vars.end()) return it->second;
            if (formulas.Has(name)) return formulas.Eval(name, vars);
            Fail("unknown name");
        }
        Fail("unexpected character");
    }

    const std::string& s;
    const Variables& vars;
    const Formulas& formulas;
    size_t i = 0;
};

}  // namespace

Formulas::Formulas(const std::string& text)
{
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        line = trim(line);
        if (line.rfind("- ", 0) == 0) line = trim(line.substr(2));
        if (!line.empty() && line.back() == ',') line.pop_back();
        const size_t eq = line.find(" = ");
        if (eq == std::string::npos) continue;
        definitions[trim(line.substr(0, eq))] = line.substr(eq + 3);
    }
}

double Formulas::Eval(const std::string& name, const Variables& vars) const
{
    const auto it = definitions.find(name);
    if (it == definitions.end()) throw std::runtime_error("no formula " + name);
    return Parser(it->second, vars, *this).Run();
}

double Formulas::EvalOr0(const std::string& name, const Variables& vars) const
{
    return Has(name) ? Eval(name, vars) : 0.0;
}

}  // namespace oracle
