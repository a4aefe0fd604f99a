#include "amp/VoxToneStack.h"

#include <cmath>

namespace tonewright {

namespace {
// (x - r)(x + s): the coefficients below are kept in factored form.
inline double pair(double x, double r, double s)
{
    return (x - r) * (x + s);
}
}  // namespace

VoxToneStack::VoxToneStack() : CircuitToneStack(3)
{
    Prime();
}

void VoxToneStack::SetBass(double v)
{
    SetVariable(b, v, std::pow(0.98 * v, 2.5));
}

void VoxToneStack::SetTreble(double v)
{
    SetVariable(t, v, std::pow(v, 2.5));
}

// The formulas give the stack's digital coefficients at 44.1 kHz; at other
// rates the section maps them onto the same analog response.
void VoxToneStack::Update()
{
    const double b2 = b * b;
    const double E = -7.985107405128055e21 * pair(t, 1.5216958179652698, 0.43848947879857647)
                     - 3.373020141297898e25 * b * pair(t, 1.5216987073185955, 0.43870843364965223)
                     + 3.342399283480419e25 * b2 * pair(t, 1.5216992533555103, 0.4387850562513566);
    double f[4];
    double g[4];
    f[0] = 0.0;
    f[1] = -(7.979411513503146e21 * pair(t, 1.4004729362845698, 0.42818426725498604)
             + 1.0115831680753747e26 * b * pair(t, 1.4814471455283627, 0.4352707693667736)
             - 1.00224340288494e26 * b2 * pair(t, 1.4814413273296845, 0.43534690199046666))
           / E;
    f[2] = -(-1.0112601809714468e26 * b * pair(t, 1.4410695261660542, 0.43169529397755213)
             + 1.0017670207257543e26 * b2 * pair(t, 1.4410636166430526, 0.43177139218370475)
             + 7.985107405128056e21 * pair(t, 1.5216098512971554, 0.4384825655442703))
           / E;
    f[3] = -(3.369790270258619e25 * b * pair(t, 1.4005560081238253, 0.42797213033234893)
             - 3.337635461888562e25 * b2 * pair(t, 1.4005563397091663, 0.4280487201656222)
             - 7.979411513503147e21 * pair(t, 1.400559907032127, 0.42819212815854896))
           / E;
    g[0] = (-1.4129412260846552e24 * pair(b, 1.000126963428531, 0.000233715173154788)
            - 1.2072351949462014e25 * t * pair(b, 1.01, 0.000236903696652014))
           / E;
    g[1] = (4.067271412632348e24 * pair(b, 1.0000402110762328, 7.3401719511879e-5)
            + 3.621705584838604e25 * t * pair(b, 1.01, 7.8874470583009e-5))
           / E;
    g[2] = (-3.8988936316786306e24 * pair(b, 0.9999539743816054, -8.4711962569252e-5)
            - 3.621705584838604e25 * t * pair(b, 1.01, -7.8967898884005e-5))
           / E;
    g[3] = (1.2445634451309383e24 * pair(b, 0.9998685477888831, -0.000239920248728082)
            + 1.2072351949462014e25 * t * pair(b, 1.01, -0.000236623411749026))
           / E;
    section.SetDigitalFor(kDesignRate, g, f);
}

}  // namespace tonewright
