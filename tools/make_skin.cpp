// Draws the editor's skin: the description ui.xml, every bitmap it names as
// <id>.png, and two previews of the composed window (preview.png with the
// main panel, preview-more.png with the More page shown) for looking at.
//
// One layout below places every control; the same layout writes the
// description, paints the labels and plates into the backgrounds and
// composes the previews, so the three cannot disagree. The output is the
// same bytes on every run: fixed drawing, and cairo's PNG writer adds no
// time stamp.
//
// usage: make-skin OUTPUT-FOLDER

#include <cairo.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/ParameterTable.h"

namespace tonewright {
namespace {

namespace fs = std::filesystem;
using tonewright::ShapeKind;

constexpr int kWidth = 579;
constexpr int kHeight = 375;
constexpr double kPi = 3.14159265358979323846;

// ---------------------------------------------------------------- drawing

struct Rgb {
    double r = 0, g = 0, b = 0, a = 1;
};

constexpr Rgb hex(uint32_t v, double a = 1.0)
{
    return {((v >> 16) & 0xff) / 255.0, ((v >> 8) & 0xff) / 255.0, (v & 0xff) / 255.0, a};
}

namespace colour {
constexpr Rgb panelTop = hex(0x2c2a27), panelBottom = hex(0x191816);
constexpr Rgb headerTop = hex(0x121110), headerBottom = hex(0x1f1d1a);
constexpr Rgb plateTop = hex(0x3b3834), plateBottom = hex(0x2b2926), plateEdge = hex(0x0e0d0c);
constexpr Rgb titleStrip = hex(0x1c1a18);
constexpr Rgb gold = hex(0xd9b35e), goldDim = hex(0x8c7138);
constexpr Rgb label = hex(0xe8dec6), labelDim = hex(0xa59c88);
constexpr Rgb amber = hex(0xf4a534), amberLight = hex(0xffcf6e), amberDeep = hex(0xd07a16);
constexpr Rgb track = hex(0x0d0c0b);
constexpr Rgb pointer = hex(0xf6edd6);
constexpr Rgb ledOn = hex(0xff4b2e);
constexpr Rgb cream = hex(0xf1e6c8), creamShade = hex(0xdccb9f), ink = hex(0x231a0c);
}  // namespace colour

void setColour(cairo_t* cr, const Rgb& c) { cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a); }

void roundedRect(cairo_t* cr, double x, double y, double w, double h, double r)
{
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -kPi / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, kPi / 2);
    cairo_arc(cr, x + r, y + h - r, r, kPi / 2, kPi);
    cairo_arc(cr, x + r, y + r, r, kPi, 3 * kPi / 2);
    cairo_close_path(cr);
}

void verticalGradient(cairo_t* cr, double y0, double y1, const Rgb& top, const Rgb& bottom)
{
    cairo_pattern_t* p = cairo_pattern_create_linear(0, y0, 0, y1);
    cairo_pattern_add_color_stop_rgba(p, 0, top.r, top.g, top.b, top.a);
    cairo_pattern_add_color_stop_rgba(p, 1, bottom.r, bottom.g, bottom.b, bottom.a);
    cairo_set_source(cr, p);
    cairo_pattern_destroy(p);
}

// Fixed font options, so the text does not follow the machine's settings.
void prepare(cairo_t* cr)
{
    cairo_font_options_t* o = cairo_font_options_create();
    cairo_font_options_set_antialias(o, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(o, CAIRO_HINT_STYLE_SLIGHT);
    cairo_font_options_set_hint_metrics(o, CAIRO_HINT_METRICS_ON);
    cairo_set_font_options(cr, o);
    cairo_font_options_destroy(o);
}

enum class Face { condensedBold, bold, book };
enum class Align { left, centre, right };

struct Font {
    double size = 7.5;
    Face face = Face::condensedBold;
    double tracking = 0.3;  // extra pixels after each character
};

void selectFont(cairo_t* cr, const Font& f)
{
    cairo_select_font_face(cr, f.face == Face::condensedBold ? "DejaVu Sans Condensed" : "DejaVu Sans",
                           CAIRO_FONT_SLANT_NORMAL,
                           f.face == Face::book ? CAIRO_FONT_WEIGHT_NORMAL : CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(cr, f.size);
}

// The UTF-8 characters of a text, one string each.
std::vector<std::string> characters(const std::string& s)
{
    std::vector<std::string> out;
    for (size_t i = 0; i < s.size();) {
        size_t n = 1;
        const auto c = static_cast<unsigned char>(s[i]);
        if (c >= 0xf0) n = 4;
        else if (c >= 0xe0) n = 3;
        else if (c >= 0xc0) n = 2;
        out.push_back(s.substr(i, n));
        i += n;
    }
    return out;
}

double textWidth(cairo_t* cr, const std::string& s, const Font& f)
{
    selectFont(cr, f);
    double w = 0;
    const auto chars = characters(s);
    for (const auto& c : chars) {
        cairo_text_extents_t e;
        cairo_text_extents(cr, c.c_str(), &e);
        w += e.x_advance;
    }
    return w + f.tracking * double(chars.size() > 0 ? chars.size() - 1 : 0);
}

void drawText(cairo_t* cr, const std::string& s, double x, double baseline, const Font& f, const Rgb& c,
              Align a = Align::centre)
{
    const double w = textWidth(cr, s, f);
    double pen = a == Align::left ? x : a == Align::centre ? x - w / 2 : x - w;
    setColour(cr, c);
    for (const auto& ch : characters(s)) {
        cairo_text_extents_t e;
        cairo_text_extents(cr, ch.c_str(), &e);
        cairo_move_to(cr, pen, baseline);
        cairo_show_text(cr, ch.c_str());
        pen += e.x_advance + f.tracking;
    }
}

const Font kLabelFont{7.2, Face::condensedBold, 0};
const Font kSmallFont{6.5, Face::condensedBold, 0};
const Font kTitleFont{7.5, Face::condensedBold, 1};
const Font kButtonFont{7.5, Face::bold, 1};

// ---------------------------------------------------------------- bitmaps

struct Bitmap {
    int width = 0;
    int height = 0;  // of the whole file: frames x the height of one
    int frames = 1;
    std::function<void(cairo_t*, int frame)> paint;  // one frame, at the origin
};

// A knob's value arc and pointer run over 270 degrees, from 7:30 to 4:30.
constexpr double kKnobStart = 0.75 * kPi;
constexpr double kKnobSweep = 1.5 * kPi;

struct KnobStyle {
    int size = 28;
    bool bipolar = false;  // the arc grows from the top
    bool fluted = false;   // a fluted skirt turning with the pointer
};

void paintKnobBody(cairo_t* cr, double c, double bodyR, double angle, bool fluted)
{
    cairo_arc(cr, c, c + 1.0, bodyR + 0.8, 0, 2 * kPi);  // drop shadow
    cairo_set_source_rgba(cr, 0, 0, 0, 0.55);
    cairo_fill(cr);

    cairo_pattern_t* body = cairo_pattern_create_radial(c - 0.35 * bodyR, c - 0.45 * bodyR, 0, c, c, bodyR * 1.3);
    cairo_pattern_add_color_stop_rgb(body, 0.0, 0.42, 0.41, 0.39);
    cairo_pattern_add_color_stop_rgb(body, 0.5, 0.17, 0.165, 0.155);
    cairo_pattern_add_color_stop_rgb(body, 1.0, 0.05, 0.05, 0.045);
    cairo_arc(cr, c, c, bodyR, 0, 2 * kPi);
    cairo_set_source(cr, body);
    cairo_fill(cr);
    cairo_pattern_destroy(body);

    if (fluted) {  // notches on the edge, turning with the knob
        cairo_set_line_width(cr, 1.0);
        cairo_set_source_rgba(cr, 0, 0, 0, 0.6);
        for (int i = 0; i < 20; ++i) {
            const double a = angle + i * 2 * kPi / 20 + kPi / 20;
            cairo_move_to(cr, c + std::cos(a) * (bodyR - 2.4), c + std::sin(a) * (bodyR - 2.4));
            cairo_line_to(cr, c + std::cos(a) * (bodyR - 0.3), c + std::sin(a) * (bodyR - 0.3));
        }
        cairo_stroke(cr);
        // a flat cap inside the flutes
        cairo_pattern_t* cap = cairo_pattern_create_linear(0, c - bodyR, 0, c + bodyR);
        cairo_pattern_add_color_stop_rgb(cap, 0, 0.30, 0.29, 0.28);
        cairo_pattern_add_color_stop_rgb(cap, 1, 0.08, 0.08, 0.075);
        cairo_arc(cr, c, c, bodyR - 3.0, 0, 2 * kPi);
        cairo_set_source(cr, cap);
        cairo_pattern_destroy(cap);
        cairo_fill_preserve(cr);
        cairo_set_source_rgba(cr, 0, 0, 0, 0.7);
        cairo_set_line_width(cr, 0.8);
        cairo_stroke(cr);
    }

    cairo_arc(cr, c, c, bodyR - 0.5, 0, 2 * kPi);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.85);
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);
    cairo_arc(cr, c, c, bodyR - 1.3, 1.12 * kPi, 1.88 * kPi);  // light on the upper rim
    cairo_set_source_rgba(cr, 1, 1, 1, 0.2);
    cairo_set_line_width(cr, 0.8);
    cairo_stroke(cr);
}

void paintPointer(cairo_t* cr, double c, double bodyR, double angle, double width)
{
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_width(cr, width);
    setColour(cr, colour::pointer);
    cairo_move_to(cr, c + std::cos(angle) * bodyR * 0.3, c + std::sin(angle) * bodyR * 0.3);
    cairo_line_to(cr, c + std::cos(angle) * (bodyR - 1.8), c + std::sin(angle) * (bodyR - 1.8));
    cairo_stroke(cr);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
}

void paintKnob(cairo_t* cr, const KnobStyle& s, double v)
{
    const double c = s.size / 2.0;
    const double arcWidth = s.size >= 36 ? 3.0 : 2.4;
    const double arcR = c - arcWidth / 2 - 0.4;
    const double bodyR = arcR - arcWidth / 2 - (s.size >= 36 ? 2.2 : 1.6);
    const double angle = kKnobStart + kKnobSweep * v;

    cairo_set_line_width(cr, arcWidth);
    setColour(cr, colour::track);
    cairo_arc(cr, c, c, arcR, kKnobStart, kKnobStart + kKnobSweep);
    cairo_stroke(cr);

    double from = s.bipolar ? kKnobStart + kKnobSweep / 2 : kKnobStart;
    double to = angle;
    if (to < from) std::swap(from, to);
    if (to - from > 1e-6) {
        setColour(cr, colour::amber);
        cairo_arc(cr, c, c, arcR, from, to);
        cairo_stroke(cr);
    }
    if (s.bipolar) {  // the centre mark
        cairo_set_line_width(cr, 1.0);
        setColour(cr, colour::labelDim);
        cairo_move_to(cr, c, c - arcR - arcWidth / 2 - 0.2);
        cairo_line_to(cr, c, c - arcR + arcWidth / 2);
        cairo_stroke(cr);
    }
    paintKnobBody(cr, c, bodyR, angle, s.fluted);
    paintPointer(cr, c, s.fluted ? bodyR - 0.5 : bodyR, angle, s.size >= 36 ? 2.2 : 1.7);
}

// A rotary selector: a dot for each step around a cap that shows the step's name.
void paintRotary(cairo_t* cr, int size, const std::vector<std::string>& names, int step)
{
    const double c = size / 2.0;
    const int n = int(names.size());
    const double dotR = c - 1.6;
    for (int i = 0; i < n; ++i) {
        const double a = kKnobStart + kKnobSweep * i / (n - 1);
        cairo_arc(cr, c + std::cos(a) * dotR, c + std::sin(a) * dotR, i == step ? 1.5 : 1.1, 0, 2 * kPi);
        setColour(cr, i == step ? colour::amber : colour::labelDim);
        cairo_fill(cr);
    }
    const double bodyR = c - 4.2;
    const double angle = kKnobStart + kKnobSweep * step / (n - 1);
    paintKnobBody(cr, c, bodyR, angle, false);
    // a notch on the rim points at the step
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_width(cr, 1.6);
    setColour(cr, colour::pointer);
    cairo_move_to(cr, c + std::cos(angle) * (bodyR - 3.2), c + std::sin(angle) * (bodyR - 3.2));
    cairo_line_to(cr, c + std::cos(angle) * (bodyR - 0.8), c + std::sin(angle) * (bodyR - 0.8));
    cairo_stroke(cr);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
    drawText(cr, names[size_t(step)], c, c + 2.6, Font{7.2, Face::condensedBold, 0}, colour::amberLight);
}

// The face of a small push button, raised and dark.
void paintButtonFace(cairo_t* cr, double x, double y, double w, double h, bool lit)
{
    roundedRect(cr, x + 0.5, y + 1.0, w - 1.0, h - 1.0, 2.5);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.6);
    cairo_fill(cr);
    roundedRect(cr, x + 0.5, y + 0.5, w - 1.0, h - 1.5, 2.5);
    if (lit) verticalGradient(cr, y, y + h, colour::amberLight, colour::amberDeep);
    else verticalGradient(cr, y, y + h, hex(0x4a4743), hex(0x252320));
    cairo_fill_preserve(cr);
    setColour(cr, colour::plateEdge);
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);
    cairo_move_to(cr, x + 3, y + 1.5);  // light on the upper edge
    cairo_line_to(cr, x + w - 3, y + 1.5);
    cairo_set_source_rgba(cr, 1, 1, 1, lit ? 0.45 : 0.16);
    cairo_stroke(cr);
}

void paintLed(cairo_t* cr, double x, double y, double r, const Rgb& on, bool lit)
{
    if (lit) {
        cairo_pattern_t* glow = cairo_pattern_create_radial(x, y, 0, x, y, r * 2.6);
        cairo_pattern_add_color_stop_rgba(glow, 0, on.r, on.g, on.b, 0.55);
        cairo_pattern_add_color_stop_rgba(glow, 1, on.r, on.g, on.b, 0);
        cairo_arc(cr, x, y, r * 2.6, 0, 2 * kPi);
        cairo_set_source(cr, glow);
        cairo_fill(cr);
        cairo_pattern_destroy(glow);
    }
    cairo_arc(cr, x, y, r + 0.7, 0, 2 * kPi);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.8);
    cairo_fill(cr);
    cairo_pattern_t* p = cairo_pattern_create_radial(x - r * 0.35, y - r * 0.4, 0, x, y, r);
    if (lit) {
        cairo_pattern_add_color_stop_rgb(p, 0, 1.0, 0.92, 0.8);
        cairo_pattern_add_color_stop_rgb(p, 0.45, on.r, on.g, on.b);
        cairo_pattern_add_color_stop_rgb(p, 1, on.r * 0.7, on.g * 0.6, on.b * 0.6);
    } else {
        cairo_pattern_add_color_stop_rgb(p, 0, on.r * 0.45, on.g * 0.35, on.b * 0.35);
        cairo_pattern_add_color_stop_rgb(p, 1, on.r * 0.2, on.g * 0.12, on.b * 0.12);
    }
    cairo_arc(cr, x, y, r, 0, 2 * kPi);
    cairo_set_source(cr, p);
    cairo_fill(cr);
    cairo_pattern_destroy(p);
}

// An on/off push button with its LED: image 0 off, image 1 on.
void paintOnOff(cairo_t* cr, int w, int h, bool on)
{
    paintButtonFace(cr, 0, 0, w, h, false);
    paintLed(cr, w / 2.0, h / 2.0 - 0.4, 2.3, colour::ledOn, on);
}

// A two-way button that names its state: image 0 says the first text, image 1 the second.
void paintTextButton(cairo_t* cr, int w, int h, const std::string& text)
{
    paintButtonFace(cr, 0, 0, w, h, false);
    drawText(cr, text, w / 2.0, h / 2.0 + 2.3, Font{6.5, Face::condensedBold, 0}, colour::label);
}

// A column of segments, the highest value on top; image k lights the
// segment of value k / (n - 1).
constexpr int kSegmentHeight = 10;

void paintSelector(cairo_t* cr, int w, const std::vector<std::string>& names, int value)
{
    const int n = int(names.size());
    for (int i = 0; i < n; ++i) {
        const int segmentValue = n - 1 - i;
        const bool lit = segmentValue == value;
        const double y = i * kSegmentHeight;
        roundedRect(cr, 0.5, y + 0.5, w - 1.0, kSegmentHeight - 1.0, 2.0);
        if (lit) verticalGradient(cr, y, y + kSegmentHeight, colour::amberLight, colour::amberDeep);
        else verticalGradient(cr, y, y + kSegmentHeight, hex(0x3c3936), hex(0x22201e));
        cairo_fill_preserve(cr);
        setColour(cr, colour::plateEdge);
        cairo_set_line_width(cr, 1.0);
        cairo_stroke(cr);
        drawText(cr, names[size_t(i)], w / 2.0, y + 7.4, Font{6.5, Face::condensedBold, 0},
                 lit ? colour::ink : colour::labelDim);
    }
}

// A bar of three LEDs: image k lights the first k (the meter levels 1..4).
void paintMeter(cairo_t* cr, int w, int h, int lit)
{
    roundedRect(cr, 0.5, 0.5, w - 1.0, h - 1.0, 2.0);
    setColour(cr, hex(0x070707));
    cairo_fill_preserve(cr);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.12);
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);
    const Rgb colours[3] = {hex(0x44d65c), hex(0xffb522), hex(0xff3b2a)};
    const double segment = (w - 4.0 - 2 * 2.0) / 3.0;
    for (int i = 0; i < 3; ++i) {
        const double x = 2.0 + i * (segment + 2.0);
        const Rgb& c = colours[i];
        roundedRect(cr, x, 2.0, segment, h - 4.0, 1.5);
        if (i < lit) {
            cairo_pattern_t* p = cairo_pattern_create_linear(0, 2, 0, h - 2);
            cairo_pattern_add_color_stop_rgb(p, 0, std::min(1.0, c.r + 0.3), std::min(1.0, c.g + 0.3),
                                             std::min(1.0, c.b + 0.3));
            cairo_pattern_add_color_stop_rgb(p, 1, c.r * 0.85, c.g * 0.85, c.b * 0.85);
            cairo_set_source(cr, p);
            cairo_fill(cr);
            cairo_pattern_destroy(p);
        } else {
            cairo_set_source_rgb(cr, c.r * 0.2, c.g * 0.2, c.b * 0.2);
            cairo_fill(cr);
        }
    }
}

// The tuner's dial: -25..+25 cents across the scale. Image k shows the
// needle value k / (frames - 1); values below the tuner's lowest reading
// (0.08) only come with no note, and show the needle resting off the scale.
constexpr int kTunerFrames = 51;

void paintTuner(cairo_t* cr, int w, int h, int frame)
{
    const double v = double(frame) / (kTunerFrames - 1);
    const bool idle = v < 0.07;
    const double cents = v * 50.0 - 25.0;

    roundedRect(cr, 0.5, 0.5, w - 1.0, h - 1.0, 4.0);
    verticalGradient(cr, 0, h, colour::cream, colour::creamShade);
    cairo_fill_preserve(cr);
    setColour(cr, colour::plateEdge);
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);

    cairo_save(cr);
    roundedRect(cr, 1, 1, w - 2.0, h - 2.0, 3.5);
    cairo_clip(cr);
    const double px = w / 2.0, py = h + 52.0, radius = 150.0;
    const double spread = 44.0 * kPi / 180.0;  // 25 cents each way
    const auto angleOf = [&](double c) { return -kPi / 2 + spread * c / 25.0; };
    // a green band around the middle
    cairo_set_line_width(cr, 5.0);
    cairo_set_source_rgba(cr, 0.2, 0.65, 0.3, 0.55);
    cairo_arc(cr, px, py, radius - 2.5, angleOf(-2), angleOf(2));
    cairo_stroke(cr);
    for (int c = -25; c <= 25; c += 1) {
        const bool major = c % 10 == 0, mid = c % 5 == 0;
        const double a = angleOf(c);
        const double len = major ? 11.0 : mid ? 7.0 : 3.5;
        cairo_set_line_width(cr, major ? 1.4 : 0.8);
        setColour(cr, colour::ink);
        cairo_move_to(cr, px + std::cos(a) * radius, py + std::sin(a) * radius);
        cairo_line_to(cr, px + std::cos(a) * (radius - len), py + std::sin(a) * (radius - len));
        cairo_stroke(cr);
        if (major) {
            char text[8];
            std::snprintf(text, sizeof text, c > 0 ? "+%d" : "%d", c);
            drawText(cr, text, px + std::cos(a) * (radius + 8), py + std::sin(a) * (radius + 8) + 3,
                     Font{7.5, Face::bold, 0}, colour::ink);
        }
    }
    drawText(cr, "CENTS", px, 58.0, Font{6.5, Face::bold, 1}, hex(0x6d5c3a));

    const double a = idle ? angleOf(-29.0) : angleOf(cents);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_width(cr, 1.6);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.18);  // shadow
    cairo_move_to(cr, px + 2, py);
    cairo_line_to(cr, px + 2 + std::cos(a) * (radius + 2), py + std::sin(a) * (radius + 2));
    cairo_stroke(cr);
    cairo_set_source_rgb(cr, idle ? 0.35 : 0.72, idle ? 0.3 : 0.08, idle ? 0.28 : 0.05);
    cairo_move_to(cr, px, py);
    cairo_line_to(cr, px + std::cos(a) * (radius + 2), py + std::sin(a) * (radius + 2));
    cairo_stroke(cr);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);

    // A cover strip hides the needle's foot and holds the flat, in-tune and sharp lamps.
    const double cover = h - 26.0;
    cairo_rectangle(cr, 0, cover, w, h - cover);
    verticalGradient(cr, cover, h, hex(0x3a3733), hex(0x191816));
    cairo_fill(cr);
    cairo_move_to(cr, 0, cover + 0.5);
    cairo_line_to(cr, w, cover + 0.5);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.18);
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);
    const bool flat = !idle && cents < -2.0, sharp = !idle && cents > 2.0, inTune = !idle && !flat && !sharp;
    const double ly = cover + 13.0;
    paintLed(cr, px - 46, ly, 3.4, colour::ledOn, flat);
    paintLed(cr, px, ly, 4.0, hex(0x3ee05a), inTune);
    paintLed(cr, px + 46, ly, 3.4, colour::ledOn, sharp);
    drawText(cr, "\u266d", px - 58, ly + 4.5, Font{12, Face::book, 0}, colour::label, Align::right);
    drawText(cr, "\u266f", px + 58, ly + 4.5, Font{12, Face::book, 0}, colour::label, Align::left);
    cairo_restore(cr);

    // glass
    cairo_pattern_t* glass = cairo_pattern_create_linear(0, 0, 0, h * 0.5);
    cairo_pattern_add_color_stop_rgba(glass, 0, 1, 1, 1, 0.35);
    cairo_pattern_add_color_stop_rgba(glass, 1, 1, 1, 1, 0);
    roundedRect(cr, 2, 2, w - 4.0, h * 0.45, 3);
    cairo_set_source(cr, glass);
    cairo_fill(cr);
    cairo_pattern_destroy(glass);
}

// The black well behind a menu or a text field; a menu's has its arrow in
// the 20 pixels at the right that the menu leaves undrawn (style 0x8000).
void paintWell(cairo_t* cr, double x, double y, double w, double h, bool arrow)
{
    roundedRect(cr, x + 0.5, y + 0.5, w - 1.0, h - 1.0, 2.5);
    setColour(cr, hex(0x000000));
    cairo_fill_preserve(cr);
    cairo_set_line_width(cr, 1.0);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.14);
    cairo_stroke(cr);
    cairo_move_to(cr, x + 2.5, y + 1.5);  // inner shadow on top
    cairo_line_to(cr, x + w - 2.5, y + 1.5);
    cairo_set_source_rgba(cr, 0.25, 0.22, 0.18, 0.6);
    cairo_stroke(cr);
    if (arrow) {
        const double ax = x + w - 10.5, ay = y + h / 2.0;
        cairo_move_to(cr, x + w - 20.5, y + 3);
        cairo_line_to(cr, x + w - 20.5, y + h - 3);
        cairo_set_source_rgba(cr, 1, 1, 1, 0.12);
        cairo_stroke(cr);
        cairo_move_to(cr, ax - 3.5, ay - 1.8);
        cairo_line_to(cr, ax + 3.5, ay - 1.8);
        cairo_line_to(cr, ax, ay + 2.2);
        cairo_close_path(cr);
        setColour(cr, colour::amber);
        cairo_fill(cr);
    }
}

// ---------------------------------------------------------------- layout

struct Rect {
    int x = 0, y = 0, w = 0, h = 0;
};

// One element of the description. Rectangles are in window coordinates
// here; the writer makes them relative to the enclosing container.
struct Element {
    std::string type;
    Rect r;
    std::string tag;
    std::vector<std::pair<std::string, std::string>> attributes;
    std::vector<Element> children;
    // How the previews show it.
    int bitmap = 0;
    int frames = 1;      // images stacked in the bitmap
    int shownFrame = 0;  // the image the preview shows
    std::function<void(cairo_t*)> previewText;
};

// What kind of control a parameter gets, from its shape in the engine's table.
enum class Kind { knob, onOff, selector, rotary };

struct Placed {
    int index = -1;
    Kind kind = Kind::knob;
    int positions = 0;
};

using Art = std::function<void(cairo_t*)>;

const char* const kParameterTags[tonewright::kHostParameterCount] = {
    "kParamAmpBypass", "kParamUpsamplerBypass", "kParamLowcutType", "kParamDeepBypass", "kParamBrightBypass",
    "kParamGain", "kParamBoostBypass", "kParamBass", "kParamMids", "kParamTreb", "kParamPres",
    "kParamPowerType", "kParamPowerDrive", "kParamCabinetBypass", "kParamCabinetMinimumPhaseBypass",
    "kParamCabinetFilterLen", "kParamCabinetDIFreq", "kParamGraphicBypass", "kParamGraphicType",
    "kParamGraphicPrePost", "kParamGraphicBand1", "kParamGraphicBand2", "kParamGraphicBand3",
    "kParamGraphicBand4", "kParamGraphicBand5", "kParamGraphicBand6", "kParamGraphicBand7",
    "kParamGraphicGain", "kParamParaFreq", "kParamParaGain", "kParamMasterVolume", "kParamWahBypass",
    "kParamWahFreq", "kParamSustainerBypass", "kParamSustainerAmt", "kParamSustainerAttk",
    "kParamSustainerMode", "kParamChorusPrePost", "kParamChorusBypass", "kParamChorusSpeed",
    "kParamChorusSweep", "kParamChorusDepth", "kParamChorusVoices", "kParamChorusDelay",
    "kParamFlangerPrePost", "kParamFlangerBypass", "kParamFlangerSpeed", "kParamFlangerSweep",
    "kParamFlangerDepth", "kParamFlangerDelay", "kParamFlangerRegen", "kParamFlangerMono",
    "kParamFlangerPhase", "kParamPhaserPrePost", "kParamPhaserBypass", "kParamPhaserSpeed",
    "kParamPhaserSweep", "kParamPhaserDepth", "kParamPhaserStages", "kParamPhaserRegen", "kParamPhaserMono",
    "kParamTremoloPrePost", "kParamTremoloBypass", "kParamTremoloSpeed", "kParamTremoloDepth",
    "kParamTremoloType", "kParamTremoloWave", "kParamDelayPrePost", "kParamDelayBypass", "kParamDelayDelay",
    "kParamDelayRepeat", "kParamDelayLevel", "kParamDelayType", "kParamDelayStyle", "kParamReverbBypass",
    "kParamReverbType", "kParamReverbLevel", "kParamGateBypass", "kParamGateThresh", "kParamGateSlope",
};

// Bitmap ids.
enum : int {
    kMainBackground = 100,
    kMoreBackground = 101,
    kKnobSmall = 110,
    kKnobSmallCentred = 111,
    kKnobLarge = 112,
    kKnobLargeCentred = 113,
    kOnOffButton = 120,
    kPrePostButton = 121,
    kLevelMeter = 140,
    kClipLight = 141,
    kTunerDial = 142,
    kSaveButton = 150,
    kBankMenuWell = 160,
    kPresetMenuWell = 161,
    kPreampMenuWell = 162,
    kImpulseMenuWell = 163,
    kNameField = 170,
    kNoteField = 171,
    kSelectorBase = 200,  // + the parameter index: each selector names its own steps
};

constexpr int kKnobFrames = 64;
constexpr int kSmallKnob = 28;
constexpr int kRotary = 32;
constexpr int kLargeKnob = 40;
constexpr int kButtonW = 22, kButtonH = 12;
constexpr int kPrePostW = 25;
constexpr int kSelectorW = 30;
constexpr int kMenuStyle = 0x8000;     // leaves the arrow at the right undrawn
constexpr int kHiddenMenuStyle = 0x10000;  // draws nothing: the artwork under it is the button

// Header and plate geometry.
constexpr int kHeaderHeight = 40;
constexpr int kTitleHeight = 16;
constexpr int kPageTop = 42;

class Skin {
public:
    Skin()
    {
        main.type = "CGViewContainer";
        main.r = {0, 0, kWidth, kHeight};
        main.bitmap = kMainBackground;
        main.attributes = {{"background", std::to_string(kMainBackground)}};
        page.type = "Page";
        page.r = {0, kPageTop, kWidth, kHeight - kPageTop};
        page.tag = "kGUIMoreScreen";
        page.bitmap = kMoreBackground;
        page.attributes = {{"pagenum", "1"}, {"background", std::to_string(kMoreBackground)}};
    }

    Element main, page;
    std::vector<Art> mainArt, pageArt;
    std::vector<Placed> placed;
    std::map<int, Bitmap> bitmaps;
    // The word printed by each parameter's control, by index; the
    // description carries it (attribute "label"), so that it can be checked.
    std::map<int, std::string> labels;
    bool onPage = false;  // where new elements and art go

    Element& target() { return onPage ? page : main; }
    void art(Art a) { (onPage ? pageArt : mainArt).push_back(std::move(a)); }

    void label(const std::string& text, double x, double baseline, Align a = Align::centre,
               const Font& f = kLabelFont, Rgb c = colour::label)
    {
        art([=](cairo_t* cr) { drawText(cr, text, x, baseline, f, c, a); });
    }

    // A section plate with its title, after the stage's button when it has
    // one there, and clear of the placement button at the right.
    void plate(Rect r, const std::string& title, bool buttonInTitle, bool placementInTitle = false)
    {
        art([=](cairo_t* cr) { paintPlate(cr, r, title, buttonInTitle, placementInTitle); });
    }

    // A faint frame grouping the controls of one stage inside a plate.
    void group(Rect r)
    {
        art([=](cairo_t* cr) {
            roundedRect(cr, r.x + 0.5, r.y + 0.5, r.w - 1.0, r.h - 1.0, 3.0);
            cairo_set_source_rgba(cr, 0, 0, 0, 0.22);
            cairo_fill_preserve(cr);
            cairo_set_source_rgba(cr, 1, 1, 1, 0.05);
            cairo_set_line_width(cr, 1.0);
            cairo_stroke(cr);
        });
    }

    Element& add(Element e)
    {
        target().children.push_back(std::move(e));
        return target().children.back();
    }

    // Parameter controls. `y0` is the top of a control cell: label, then control.
    void knob(int index, double cx, int y0, const std::string& text, bool large, bool centred, double preview)
    {
        const int size = large ? kLargeKnob : kSmallKnob;
        const int id = large ? (centred ? kKnobLargeCentred : kKnobLarge) : (centred ? kKnobSmallCentred : kKnobSmall);
        if (!bitmaps.count(id)) {
            const KnobStyle style{size, centred, large};
            bitmaps[id] = {size, size * kKnobFrames, kKnobFrames,
                           [style](cairo_t* cr, int k) { paintKnob(cr, style, double(k) / (kKnobFrames - 1)); }};
        }
        Element e = strip("CMyAnimKnob", index, {int(std::lround(cx)) - size / 2, y0 + 11, size, size}, id,
                          kKnobFrames, preview);
        add(std::move(e));
        label(text, cx, y0 + 8);
        labels[index] = text;
        placed.push_back({index, Kind::knob, 0});
    }

    void rotary(int index, double cx, int y0, const std::string& text, const std::vector<std::string>& steps,
                int preview)
    {
        const int id = kSelectorBase + index;
        const int n = int(steps.size());
        bitmaps[id] = {kRotary, kRotary * n, n, [steps](cairo_t* cr, int k) { paintRotary(cr, kRotary, steps, k); }};
        add(strip("CMyAnimKnob", index, {int(std::lround(cx)) - kRotary / 2, y0 + 9, kRotary, kRotary},
                  id, n, double(preview) / (n - 1)));
        label(text, cx, y0 + 8);
        labels[index] = text;
        placed.push_back({index, Kind::rotary, n});
    }

    // An on/off button in a cell under its label, centred on the knobs' middle line.
    void onOff(int index, double cx, int y0, const std::string& text, bool preview)
    {
        onOffAt(index, {int(std::lround(cx)) - kButtonW / 2, y0 + 19, kButtonW, kButtonH}, preview);
        label(text, cx, y0 + 8);
        labels[index] = text;
    }

    void onOffAt(int index, Rect r, bool preview)
    {
        if (!bitmaps.count(kOnOffButton))
            bitmaps[kOnOffButton] = {kButtonW, 2 * kButtonH, 2,
                                     [](cairo_t* cr, int k) { paintOnOff(cr, kButtonW, kButtonH, k == 1); }};
        Element e;
        e.type = "CMyOnOffButton";
        e.r = r;
        e.tag = kParameterTags[index];
        e.attributes = {{"background", std::to_string(kOnOffButton)}};
        e.bitmap = kOnOffButton;
        e.frames = 2;
        e.shownFrame = preview ? 1 : 0;
        add(std::move(e));
        placed.push_back({index, Kind::onOff, 2});
    }

    // A placement switch in a plate's title strip: PRE (0) or POST (1).
    void prePost(int index, const Rect& plateRect, bool preview)
    {
        if (!bitmaps.count(kPrePostButton))
            bitmaps[kPrePostButton] = {kPrePostW, 2 * kButtonH, 2, [](cairo_t* cr, int k) {
                                           paintTextButton(cr, kPrePostW, kButtonH, k == 1 ? "POST" : "PRE");
                                       }};
        Element e;
        e.type = "CMyOnOffButton";
        e.r = {plateRect.x + plateRect.w - 5 - kPrePostW, plateRect.y + 2, kPrePostW, kButtonH};
        e.tag = kParameterTags[index];
        e.attributes = {{"background", std::to_string(kPrePostButton)}};
        e.bitmap = kPrePostButton;
        e.frames = 2;
        e.shownFrame = preview ? 1 : 0;
        add(std::move(e));
        labels[index] = "PRE/POST";
        placed.push_back({index, Kind::onOff, 2});
    }

    // The stage's on/off button at the left of a plate's title strip, under
    // the plate's title.
    void titleButton(int index, const Rect& plateRect, bool preview, const std::string& title)
    {
        onOffAt(index, {plateRect.x + 5, plateRect.y + 2, kButtonW, kButtonH}, preview);
        labels[index] = title;
    }

    // Each parameter's control carries its word.
    void writeLabels(Element& e)
    {
        for (int i = 0; i < tonewright::kHostParameterCount; ++i)
            if (e.tag == kParameterTags[i] && labels.count(i)) e.attributes.push_back({"label", labels.at(i)});
        for (Element& c : e.children) writeLabels(c);
    }

    // A stepped selector; `steps` from the highest value (top) down.
    void selector(int index, double cx, int y0, const std::string& text, const std::vector<std::string>& steps,
                  int preview)
    {
        const int n = int(steps.size());
        const int h = n * kSegmentHeight;
        const int id = kSelectorBase + index;
        bitmaps[id] = {kSelectorW, h * n, n, [steps](cairo_t* cr, int k) { paintSelector(cr, kSelectorW, steps, k); }};
        const int top = std::max(y0 + 11, y0 + 25 - h / 2);
        Element e = strip("CMyVerticalSwitch", index, {int(std::lround(cx)) - kSelectorW / 2, top, kSelectorW, h},
                          id, n, double(preview) / (n - 1));
        e.attributes.insert(e.attributes.begin() + 2, {"maxpositions", std::to_string(n)});
        add(std::move(e));
        label(text, cx, top - 3);
        labels[index] = text;
        placed.push_back({index, Kind::selector, n});
    }

    // A file menu in its well; the well is a container with the well as background.
    void menu(const std::string& tag, Rect r, int wellId, int style, const std::string& previewText)
    {
        bitmaps[wellId] = {r.w, r.h, 1, [r](cairo_t* cr, int) { paintWell(cr, 0, 0, r.w, r.h, true); }};
        Element well;
        well.type = "CGViewContainer";
        well.r = r;
        well.bitmap = wellId;
        well.attributes = {{"background", std::to_string(wellId)}};
        Element m = fileMenu(tag, {r.x + 1, r.y + 1, r.w - 2, r.h - 2}, style);
        const Rect inner = m.r;
        m.previewText = [=](cairo_t* cr) { menuText(cr, inner, previewText, true); };
        well.children.push_back(std::move(m));
        add(std::move(well));
    }

    Element fileMenu(const std::string& tag, Rect r, int style)
    {
        Element m;
        m.type = "CMyFileMenu";
        m.r = r;
        m.tag = tag;
        m.attributes = {{"style", std::to_string(style)}};
        return m;
    }

    // A text field with its own well as background; the preview shows `shown` in it.
    void textField(const std::string& tag, Rect r, int wellId, const std::string& text, const std::string& shown,
                   bool big)
    {
        bitmaps[wellId] = {r.w, r.h, 1, [r](cairo_t* cr, int) { paintWell(cr, 0, 0, r.w, r.h, false); }};
        Element e;
        e.type = "CRedTextEdit";
        e.r = r;
        e.tag = tag;
        e.attributes = {{"txt", text}, {"background", std::to_string(wellId)}};
        e.bitmap = wellId;
        e.previewText = [=](cairo_t* cr) {
            drawText(cr, shown, r.x + r.w / 2.0, r.y + r.h / 2.0 + (big ? 6 : 3.5),
                     Font{big ? 16.0 : 10.0, Face::book, 0}, hex(0xff0000));
        };
        add(std::move(e));
    }

    // An invisible page-turn button over button artwork painted into the background.
    void pageButton(const std::string& tag, Rect r, int pagenum, const std::string& text,
                    const std::string& subtext = "")
    {
        art([=](cairo_t* cr) {
            paintButtonFace(cr, r.x, r.y, r.w, r.h, false);
            const double base = subtext.empty() ? r.y + r.h / 2.0 + 2.8 : r.y + r.h / 2.0 - 0.5;
            drawText(cr, text, r.x + r.w / 2.0, base, kButtonFont, colour::label);
            if (!subtext.empty())
                drawText(cr, subtext, r.x + r.w / 2.0, base + 9, Font{5.5, Face::condensedBold, 1}, colour::labelDim);
        });
        Element e;
        e.type = "PageTurn";
        e.r = r;
        e.tag = tag;
        e.attributes = {{"pagenum", std::to_string(pagenum)}};
        add(std::move(e));
    }

    // A display strip of the product's VU class.
    void display(const std::string& tag, Rect r, int id, int frames, int shown,
                 std::function<void(cairo_t*, int)> paint)
    {
        bitmaps[id] = {r.w, r.h * frames, frames, std::move(paint)};
        Element e;
        e.type = "CMyVU";
        e.r = r;
        e.tag = tag;
        e.attributes = {{"subpixmaps", std::to_string(frames)},
                        {"heightofoneimage", std::to_string(r.h)},
                        {"background", std::to_string(id)}};
        e.bitmap = id;
        e.frames = frames;
        e.shownFrame = shown;
        add(std::move(e));
    }

    static void menuText(cairo_t* cr, const Rect& r, const std::string& text, bool arrow)
    {
        cairo_save(cr);
        cairo_rectangle(cr, r.x, r.y, r.w - (arrow ? 20 : 0), r.h);
        cairo_clip(cr);
        drawText(cr, text, r.x + (r.w - (arrow ? 20 : 0)) / 2.0, r.y + r.h / 2.0 + 3.5, Font{10, Face::book, 0},
                 hex(0xff0000));
        cairo_restore(cr);
    }

    static void paintPlate(cairo_t* cr, const Rect& r, const std::string& title, bool buttonInTitle,
                           bool placementInTitle)
    {
        roundedRect(cr, r.x + 0.5, r.y + 1.5, r.w - 1.0, r.h - 1.0, 4.0);  // shadow
        cairo_set_source_rgba(cr, 0, 0, 0, 0.5);
        cairo_fill(cr);
        roundedRect(cr, r.x + 0.5, r.y + 0.5, r.w - 1.0, r.h - 1.0, 4.0);
        verticalGradient(cr, r.y, r.y + r.h, colour::plateTop, colour::plateBottom);
        cairo_fill_preserve(cr);
        setColour(cr, colour::plateEdge);
        cairo_set_line_width(cr, 1.0);
        cairo_stroke(cr);

        cairo_save(cr);
        roundedRect(cr, r.x + 1, r.y + 1, r.w - 2.0, r.h - 2.0, 3.5);
        cairo_clip(cr);
        cairo_rectangle(cr, r.x, r.y, r.w, kTitleHeight);
        setColour(cr, colour::titleStrip);
        cairo_fill(cr);
        cairo_move_to(cr, r.x, r.y + kTitleHeight + 0.5);
        cairo_line_to(cr, r.x + r.w, r.y + kTitleHeight + 0.5);
        setColour(cr, Rgb{colour::gold.r, colour::gold.g, colour::gold.b, 0.45});
        cairo_stroke(cr);
        cairo_restore(cr);

        const double x = buttonInTitle ? r.x + 31.0 : r.x + 7.0;
        const double room = r.x + r.w - (placementInTitle ? 9.0 + kPrePostW : 5.0) - x;
        Font f = kTitleFont;
        if (textWidth(cr, title, f) > room) f.tracking = 0;  // a long title in a narrow plate
        drawText(cr, title, x, r.y + 11.5, f, colour::gold, Align::left);
    }

private:
    Element strip(const std::string& type, int index, Rect r, int id, int frames, double preview) const
    {
        Element e;
        e.type = type;
        e.r = r;
        e.tag = kParameterTags[index];
        e.attributes = {{"subpixmaps", std::to_string(frames)},
                        {"heightofoneimage", std::to_string(r.h)},
                        {"background", std::to_string(id)}};
        e.bitmap = id;
        e.frames = frames;
        e.shownFrame = int(preview * (frames - 1) + 0.5);
        return e;
    }
};

// Parameter indices, by their enumeration names' order.
enum Param : int {
    AmpBypass, UpsamplerBypass, LowcutType, DeepBypass, BrightBypass, Gain, BoostBypass, Bass, Mids, Treb, Pres,
    PowerType, PowerDrive, CabinetBypass, CabinetMinimumPhase, CabinetFilterLen, CabinetDIFreq, GraphicBypass,
    GraphicType, GraphicPrePost, GraphicBand1, GraphicBand2, GraphicBand3, GraphicBand4, GraphicBand5,
    GraphicBand6, GraphicBand7, GraphicGain, ParaFreq, ParaGain, MasterVolume, WahBypass, WahFreq,
    SustainerBypass, SustainerAmt, SustainerAttk, SustainerMode, ChorusPrePost, ChorusBypass, ChorusSpeed,
    ChorusSweep, ChorusDepth, ChorusVoices, ChorusDelay, FlangerPrePost, FlangerBypass, FlangerSpeed,
    FlangerSweep, FlangerDepth, FlangerDelay, FlangerRegen, FlangerMono, FlangerPhase, PhaserPrePost,
    PhaserBypass, PhaserSpeed, PhaserSweep, PhaserDepth, PhaserStages, PhaserRegen, PhaserMono, TremoloPrePost,
    TremoloBypass, TremoloSpeed, TremoloDepth, TremoloType, TremoloWave, DelayPrePost, DelayBypass, DelayDelay,
    DelayRepeat, DelayLevel, DelayType, DelayStyle, ReverbBypass, ReverbType, ReverbLevel, GateBypass,
    GateThresh, GateSlope,
};

// Rows of plates under the header.
constexpr int kRow1 = 42, kRow2 = 153, kRow3 = 264;
constexpr int kRowHeight = 108;
constexpr int kCellA = 18, kCellB = 61;  // the two control rows, below a plate's top

void header(Skin& s)
{
    s.art([](cairo_t* cr) {
        cairo_rectangle(cr, 0, 0, kWidth, kHeaderHeight);
        verticalGradient(cr, 0, kHeaderHeight, colour::headerTop, colour::headerBottom);
        cairo_fill(cr);
        cairo_move_to(cr, 0, kHeaderHeight + 0.5);
        cairo_line_to(cr, kWidth, kHeaderHeight + 0.5);
        setColour(cr, colour::goldDim);
        cairo_set_line_width(cr, 1.0);
        cairo_stroke(cr);
        drawText(cr, "QUARRYSTONE", 10, 14, Font{6.5, Face::bold, 2}, colour::goldDim, Align::left);
        drawText(cr, "TONEWRIGHT", 9, 32, Font{14, Face::condensedBold, 1.0}, colour::gold, Align::left);
    });
    s.label("BANK", 161, 15, Align::right);
    s.label("PRESET", 161, 33, Align::right);
    s.menu("kGUIParamBank", {165, 4, 151, 16}, kBankMenuWell, kMenuStyle, "QS Factory");
    s.menu("kGUIParamPreset", {165, 22, 50, 16}, kPresetMenuWell, kMenuStyle, "001");
    s.textField("kGUIParamName", {219, 22, 97, 16}, kNameField, "", "Crunch Rhythm", false);
    s.pageButton("kGUIParamBankSaveButton", {322, 4, 90, 16}, 1, "SAVE BANK");
    s.pageButton("kGUIParamBankExportButton", {416, 4, 90, 16}, 1, "EXPORT BANK");

    // Save flashes while the program has unsaved changes: image 0 lit, image 1 plain.
    const Rect save{322, 22, 42, 16};
    s.bitmaps[kSaveButton] = {save.w, 2 * save.h, 2, [save](cairo_t* cr, int k) {
                                  paintButtonFace(cr, 0, 0, save.w, save.h, k == 0);
                                  drawText(cr, "SAVE", save.w / 2.0, save.h / 2.0 + 2.8, kButtonFont,
                                           k == 0 ? colour::ink : colour::label);
                              }};
    Element flash;
    flash.type = "CFlashButton";
    flash.r = save;
    flash.tag = "kGUIParamPresetSaveButton";
    flash.attributes = {{"pagenum", "1"}, {"background", std::to_string(kSaveButton)}};
    flash.bitmap = kSaveButton;
    flash.frames = 2;
    flash.shownFrame = 1;
    s.add(std::move(flash));

    // Save As is a menu of the 128 slots that draws nothing over its button artwork.
    const Rect saveAs{368, 22, 44, 16};
    s.art([saveAs](cairo_t* cr) {
        paintButtonFace(cr, saveAs.x, saveAs.y, saveAs.w, saveAs.h, false);
        drawText(cr, "SAVE AS", saveAs.x + saveAs.w / 2.0, saveAs.y + saveAs.h / 2.0 + 2.8, kButtonFont, colour::label);
    });
    s.add(s.fileMenu("kGUIParamPresetSaveAsButton", saveAs, kHiddenMenuStyle));
    s.pageButton("kGUIParamPresetImportButton", {416, 22, 44, 16}, 1, "IMPORT");
    s.pageButton("kGUIParamPresetExportButton", {462, 22, 44, 16}, 1, "EXPORT");
    s.pageButton("kGUIParamMoreButton", {512, 4, 62, 34}, 1, "MORE", "TUNER \u00b7 METERS");
}

void inputSection(Skin& s)
{
    const Rect p{4, kRow1, 226, kRowHeight};
    s.plate(p, "INPUT \u00b7 DYNAMICS", false);
    const int a = p.y + kCellA, b = p.y + kCellB;
    s.group({8, a - 1, 108, 43});
    s.group({8, b - 1, 72, 43});
    s.group({84, b - 1, 142, 43});
    s.group({186, a - 1, 40, 43});
    s.onOff(GateBypass, 25, a, "GATE", false);
    s.knob(GateThresh, 62, a, "THRESH", false, false, 0.3);
    s.knob(GateSlope, 97, a, "SLOPE", false, false, 0.5);
    s.selector(LowcutType, 206, a, "LOW CUT", {"400", "200", "55"}, 0);
    s.onOff(WahBypass, 25, b, "WAH", false);
    s.knob(WahFreq, 61, b, "PEDAL", false, false, 0.5);
    s.onOff(SustainerBypass, 100, b, "SUSTAIN", false);
    s.knob(SustainerAmt, 136, b, "AMOUNT", false, false, 0.5);
    s.knob(SustainerAttk, 171, b, "ATTACK", false, false, 0.2);
    s.selector(SustainerMode, 206, b, "MODE", {"SUST", "COMP"}, 1);
}

void preampSection(Skin& s)
{
    const Rect p{234, kRow1, 240, kRowHeight};
    s.plate(p, "PREAMP", true);
    s.titleButton(AmpBypass, p, true, "PREAMP");
    const int a = p.y + kCellA;
    s.label("MODEL", 241, a + 8, Align::left);
    s.menu("kGUIParamAmpModel", {240, a + 11, 134, 16}, kPreampMenuWell, kMenuStyle, "Modern High Gain");
    const std::pair<int, const char*> switches[] = {
        {BoostBypass, "BOOST"}, {DeepBypass, "DEEP"}, {BrightBypass, "BRIGHT"}};
    for (int i = 0; i < 3; ++i) {
        const int cx = 391 + 29 * i;
        s.label(switches[i].second, cx, a + 8);
        s.onOffAt(switches[i].first, {cx - kButtonW / 2, a + 13, kButtonW, kButtonH}, false);
        s.labels[switches[i].first] = switches[i].second;
    }
    const int b = p.y + 55;
    const char* names[] = {"GAIN", "BASS", "MIDDLE", "TREBLE", "PRESENCE"};
    const int params[] = {Gain, Bass, Mids, Treb, Pres};
    for (int i = 0; i < 5; ++i) s.knob(params[i], 262 + 46 * i, b, names[i], true, false, i == 0 ? 0.6 : 0.5);
}

void powerSection(Skin& s)
{
    const Rect p{478, kRow1, 97, kRowHeight};
    s.plate(p, "POWER AMP", false);
    const int y0 = p.y + 20;
    s.selector(PowerType, 500, y0, "TYPE", {"ASYM", "P-P", "S-E", "OFF"}, 2);
    s.knob(PowerDrive, 549, y0, "DRIVE", true, false, 0.2);
    // oversampling runs the whole amplifier, preamp and power amp, at the higher rate
    s.label("HI-FI", 519, p.y + 97, Align::right);
    s.onOffAt(UpsamplerBypass, {525, p.y + 89, kButtonW, kButtonH}, true);
    s.labels[UpsamplerBypass] = "HI-FI";
}

void equaliserSection(Skin& s)
{
    const Rect p{4, kRow2, 262, kRowHeight};
    s.plate(p, "GRAPHIC EQ", true, true);
    s.titleButton(GraphicBypass, p, false, "GRAPHIC EQ");
    s.prePost(GraphicPrePost, p, true);
    const int a = p.y + kCellA, b = p.y + kCellB;
    const char* bands[] = {"100", "200", "400", "800", "1.6K", "3.2K", "6.4K"};
    for (int i = 0; i < 7; ++i) s.knob(GraphicBand1 + i, 33 + 34 * i, a, bands[i], false, true, 0.5);
    s.group({10, b - 1, 46, 43});
    s.group({100, b - 1, 90, 43});
    s.selector(GraphicType, 33, b, "RANGE", {"LOW", "MID", "HIGH"}, 0);
    s.knob(ParaFreq, 125, b, "MID FREQ", false, false, 0.6);
    s.knob(ParaGain, 165, b, "MID GAIN", false, true, 0.5);
    s.knob(GraphicGain, 237, b, "LEVEL", false, true, 0.5);
}

void cabinetSection(Skin& s)
{
    const Rect p{270, kRow2, 150, kRowHeight};
    s.plate(p, "CABINET", true);
    s.titleButton(CabinetBypass, p, true, "CABINET");
    const int a = p.y + kCellA, b = p.y + kCellB;
    s.label("IMPULSE", 277, a + 8, Align::left);
    s.menu("kGUIParamCabImpulse", {276, a + 11, 138, 16}, kImpulseMenuWell, kMenuStyle, "Closed 4x12");
    s.onOff(CabinetMinimumPhase, 294, b, "MIN PHASE", false);
    s.rotary(CabinetFilterLen, 345, b, "LENGTH", {"128", "256", "1K", "4K", "8K", "32K"}, 4);
    s.knob(CabinetDIFreq, 393, b, "DI FREQ", false, false, 0.4);
}

void reverbSection(Skin& s)
{
    const Rect p{424, kRow2, 76, kRowHeight};
    s.plate(p, "REVERB", true);
    s.titleButton(ReverbBypass, p, false, "REVERB");
    const int a = p.y + kCellA, b = p.y + kCellB;
    s.selector(ReverbType, 462, a, "TYPE", {"HALL", "CLUB", "ROOM"}, 2);
    s.knob(ReverbLevel, 462, b, "LEVEL", false, false, 0.77);
}

void masterSection(Skin& s)
{
    const Rect p{504, kRow2, 71, kRowHeight};
    s.plate(p, "MASTER", false);
    s.knob(MasterVolume, 539, p.y + 22, "VOLUME", true, true, 0.5);
    Rect clip{546, p.y + 83, 14, 14};
    s.label("CLIP", 542, clip.y + 10, Align::right);
    s.display("kGUIParamClipLight", clip, kClipLight, 2, 0, [](cairo_t* cr, int k) {
        paintLed(cr, 7, 7, 4.2, colour::ledOn, k == 1);
    });
}

// The modulation and delay row: five plates with their knobs on a grid of 32-pixel columns.
void modulationRow(Skin& s)
{
    struct Item {
        int param;
        Kind kind;
        const char* label;
        std::vector<std::string> steps;
        double preview;
    };
    struct Unit {
        const char* title;
        int onParam, placeParam, columns;
        std::vector<Item> rowA, rowB;
    };
    const std::vector<Unit> units = {
        {"CHORUS", ChorusBypass, ChorusPrePost, 3,
         {{ChorusSpeed, Kind::knob, "SPEED", {}, 0.5}, {ChorusSweep, Kind::knob, "SWEEP", {}, 0.5},
          {ChorusDepth, Kind::knob, "DEPTH", {}, 0.5}},
         {{ChorusDelay, Kind::knob, "DELAY", {}, 0.31}, {ChorusVoices, Kind::selector, "VOICES", {"4", "2", "1"}, 1}}},
        {"FLANGER", FlangerBypass, FlangerPrePost, 4,
         {{FlangerSpeed, Kind::knob, "SPEED", {}, 0.5}, {FlangerSweep, Kind::knob, "SWEEP", {}, 0.5},
          {FlangerDepth, Kind::knob, "DEPTH", {}, 0.5}, {FlangerDelay, Kind::knob, "DELAY", {}, 0.71}},
         {{FlangerRegen, Kind::knob, "REGEN", {}, 0.56}, {FlangerPhase, Kind::onOff, "INVERT", {}, 1},
          {FlangerMono, Kind::selector, "WIDTH", {"MONO", "WIDE"}, 0}}},
        {"PHASER", PhaserBypass, PhaserPrePost, 3,
         {{PhaserSpeed, Kind::knob, "SPEED", {}, 0.5}, {PhaserSweep, Kind::knob, "SWEEP", {}, 0.5},
          {PhaserDepth, Kind::knob, "DEPTH", {}, 0.5}},
         {{PhaserRegen, Kind::knob, "REGEN", {}, 0.56}, {PhaserStages, Kind::selector, "STAGES", {"6", "4", "2"}, 1},
          {PhaserMono, Kind::selector, "WIDTH", {"MONO", "WIDE"}, 0}}},
        {"TREMOLO", TremoloBypass, TremoloPrePost, 3,
         {{TremoloSpeed, Kind::knob, "SPEED", {}, 0.5}, {TremoloDepth, Kind::knob, "DEPTH", {}, 1.0},
          {TremoloWave, Kind::knob, "WAVE", {}, 0.0}},
         {{TremoloType, Kind::selector, "TYPE", {"PAN", "MONO"}, 1}}},
        {"DELAY", DelayBypass, DelayPrePost, 3,
         {{DelayDelay, Kind::knob, "TIME", {}, 0.37}, {DelayRepeat, Kind::knob, "REPEAT", {}, 0.74},
          {DelayLevel, Kind::knob, "LEVEL", {}, 0.77}},
         {{DelayStyle, Kind::knob, "STYLE", {}, 1.0}, {DelayType, Kind::selector, "TYPE", {"PING", "DUAL"}, 1}}},
    };
    constexpr int column = 32, pad = 5, gap = 2;
    int x = 5;
    for (const Unit& u : units) {
        const Rect p{x, kRow3, u.columns * column + 2 * pad, kRowHeight - 1};
        s.plate(p, u.title, true, true);
        s.titleButton(u.onParam, p, false, u.title);
        s.prePost(u.placeParam, p, true);
        const auto place = [&](const std::vector<Item>& items, int y0) {
            // a short row is centred in the plate
            const double first = p.x + pad + column / 2.0 + (u.columns - int(items.size())) * column / 2.0;
            for (size_t i = 0; i < items.size(); ++i) {
                const Item& it = items[i];
                const double cx = first + column * double(i);
                switch (it.kind) {
                case Kind::knob: s.knob(it.param, cx, y0, it.label, false, false, it.preview); break;
                case Kind::onOff: s.onOff(it.param, cx, y0, it.label, it.preview >= 0.5); break;
                case Kind::selector: s.selector(it.param, cx, y0, it.label, it.steps, int(it.preview)); break;
                case Kind::rotary: break;
                }
            }
        };
        place(u.rowA, p.y + kCellA);
        place(u.rowB, p.y + kCellB);
        x += p.w + gap;
    }
}

// The More page: tuner, level meters, clip light, version and the close button.
void morePage(Skin& s)
{
    s.onPage = true;
    s.art([](cairo_t* cr) {
        cairo_rectangle(cr, 0, kPageTop, kWidth, kHeight - kPageTop);
        verticalGradient(cr, kPageTop, kHeight, colour::panelTop, colour::panelBottom);
        cairo_fill(cr);
    });
    const Rect tuner{12, 54, 380, 196};
    s.plate(tuner, "TUNER", false);
    const Rect dial{26, 82, 280, 124};
    s.display("kGUITunerDisplay", dial, kTunerDial, kTunerFrames, 30,
              [dial](cairo_t* cr, int k) { paintTuner(cr, dial.w, dial.h, k); });
    s.label("NOTE", 350, 104);
    s.textField("kGUITunerKeyDisplay", {320, 110, 60, 40}, kNoteField, "--", "A", true);

    const Rect levels{400, 54, 167, 196};
    s.plate(levels, "LEVELS", false);
    const Rect in{414, 96, 126, 14}, out{414, 148, 126, 14};
    s.label("INPUT", 414, in.y - 5, Align::left);
    s.label("OUTPUT", 414, out.y - 5, Align::left);
    const auto meter = [](cairo_t* cr, int k) { paintMeter(cr, 126, 14, k); };
    s.display("kGUIInputVU", in, kLevelMeter, 4, 2, meter);
    s.display("kGUIOutputVU", out, kLevelMeter, 4, 2, meter);
    for (const Rect& m : {in, out}) {
        const double seg = (m.w - 8.0) / 3.0;
        const char* marks[] = {"-20", "-6", "0 dB"};
        for (int i = 0; i < 3; ++i)
            s.label(marks[i], m.x + 2 + i * (seg + 2) + 1, m.y + m.h + 8, Align::left, kSmallFont, colour::labelDim);
    }
    const Rect clip{414, 198, 14, 14};
    s.display("kGUIParamClipLight", clip, kClipLight, 2, 0, [](cairo_t* cr, int k) {
        paintLed(cr, 7, 7, 4.2, colour::ledOn, k == 1);
    });
    s.label("CLIP", 434, clip.y + 10, Align::left);

    const Rect about{12, 258, 555, 105};
    s.art([about](cairo_t* cr) {
        roundedRect(cr, about.x + 0.5, about.y + 1.5, about.w - 1.0, about.h - 1.0, 4);
        cairo_set_source_rgba(cr, 0, 0, 0, 0.5);
        cairo_fill(cr);
        roundedRect(cr, about.x + 0.5, about.y + 0.5, about.w - 1.0, about.h - 1.0, 4);
        verticalGradient(cr, about.y, about.y + about.h, colour::cream, colour::creamShade);
        cairo_fill_preserve(cr);
        setColour(cr, colour::plateEdge);
        cairo_set_line_width(cr, 1.0);
        cairo_stroke(cr);
        drawText(cr, "QUARRYSTONE", about.x + 20, about.y + 26, Font{8, Face::bold, 3}, hex(0x7a5f28), Align::left);
        drawText(cr, "TONEWRIGHT SUITE", about.x + 18, about.y + 52, Font{22, Face::bold, 1}, colour::ink,
                 Align::left);
        drawText(cr, "Guitar amplifier and effects", about.x + 20, about.y + 72, Font{8.5, Face::book, 0},
                 hex(0x5a4a2c), Align::left);
        drawText(cr, "VERSION", about.x + 20, about.y + 92, Font{7.5, Face::bold, 1}, hex(0x7a5f28), Align::left);
    });
    Element version;
    version.type = "CMyTextLabel";
    version.r = {about.x + 68, about.y + 79, 48, 20};
    version.tag = "kGUIParamVersionNumber";
    version.attributes = {{"text", "1.5"}};
    const Rect vr = version.r;
    version.previewText = [vr](cairo_t* cr) {
        drawText(cr, "1.5", vr.x + vr.w / 2.0, vr.y + vr.h / 2.0 + 6, Font{17, Face::book, 0}, hex(0x000000));
    };
    s.add(std::move(version));
    s.pageButton("kGUIMoreScreenCLOSE", {about.x + about.w - 84, about.y + about.h - 34, 70, 22}, 0, "CLOSE");
    s.onPage = false;
}

Skin buildSkin()
{
    Skin s;
    s.art([](cairo_t* cr) {
        cairo_rectangle(cr, 0, 0, kWidth, kHeight);
        verticalGradient(cr, 0, kHeight, colour::panelTop, colour::panelBottom);
        cairo_fill(cr);
    });
    header(s);
    inputSection(s);
    preampSection(s);
    powerSection(s);
    equaliserSection(s);
    cabinetSection(s);
    reverbSection(s);
    masterSection(s);
    modulationRow(s);
    // What went wrong shows over the header's displays and buttons for a
    // while (hidden otherwise), above every control it covers.
    Element message;
    message.type = "CMyMessageLine";
    message.r = {165, 4, 409, 34};
    message.tag = "kGUIMessageLine";
    s.main.children.push_back(std::move(message));
    morePage(s);
    s.main.children.push_back(s.page);  // last, so it covers the panel when shown
    s.writeLabels(s.main);

    s.bitmaps[kMainBackground] = {kWidth, kHeight, 1, [art = s.mainArt](cairo_t* cr, int) {
                                      for (const Art& a : art) a(cr);
                                  }};
    s.bitmaps[kMoreBackground] = {s.page.r.w, s.page.r.h, 1, [art = s.pageArt, top = s.page.r.y](cairo_t* cr, int) {
                                      cairo_translate(cr, 0, -top);
                                      for (const Art& a : art) a(cr);
                                  }};
    return s;
}

// Every parameter has one control, of the kind its shape in the engine's table asks for.
bool checkParameters(const Skin& s)
{
    bool ok = true;
    std::vector<int> count(tonewright::kHostParameterCount, 0);
    for (const Placed& p : s.placed) {
        ++count[size_t(p.index)];
        const tonewright::ParameterDescriptor* row = nullptr;
        for (const auto& r : tonewright::kParameterTable)
            if (r.host.index == p.index) row = &r;
        if (!row) return false;
        const ShapeKind k = row->shape.kind;
        const int steps = static_cast<int>(row->shape.a);
        bool fits = false;
        switch (p.kind) {
        case Kind::onOff: fits = k == ShapeKind::flag; break;
        case Kind::selector:
            fits = (k == ShapeKind::step || k == ShapeKind::stepReversed) && steps == p.positions;
            break;
        case Kind::rotary: fits = k == ShapeKind::window && steps == p.positions; break;
        case Kind::knob:
            fits = k != ShapeKind::flag && k != ShapeKind::step && k != ShapeKind::stepReversed &&
                   k != ShapeKind::window;
            break;
        }
        if (!fits) {
            std::fprintf(stderr, "make-skin: %s gets a control of the wrong kind\n", kParameterTags[p.index]);
            ok = false;
        }
    }
    for (int i = 0; i < tonewright::kHostParameterCount; ++i)
        if (count[size_t(i)] != 1) {
            std::fprintf(stderr, "make-skin: %s has %d controls\n", kParameterTags[i], count[size_t(i)]);
            ok = false;
        }
    return ok;
}

// ---------------------------------------------------------------- output

using Surface = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;

Surface render(const Bitmap& b)
{
    Surface surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, b.width, b.height), &cairo_surface_destroy);
    const int frameHeight = b.height / b.frames;
    for (int k = 0; k < b.frames; ++k) {
        cairo_t* cr = cairo_create(surface.get());
        prepare(cr);
        cairo_translate(cr, 0, k * frameHeight);
        cairo_rectangle(cr, 0, 0, b.width, frameHeight);
        cairo_clip(cr);
        b.paint(cr, k);
        cairo_destroy(cr);
    }
    cairo_surface_flush(surface.get());
    return surface;
}

void writeElement(std::string& out, const Element& e, const Rect& parent, int depth)
{
    out.append(size_t(depth) * 2, ' ');
    out += "<" + e.type;
    const auto attribute = [&](const std::string& name, const std::string& value) {
        out += " " + name + "=\"" + value + "\"";
    };
    attribute("x", std::to_string(e.r.x - parent.x));
    attribute("y", std::to_string(e.r.y - parent.y));
    attribute("width", std::to_string(e.r.w));
    attribute("height", std::to_string(e.r.h));
    if (!e.tag.empty()) attribute("tag", e.tag);
    for (const auto& [name, value] : e.attributes) attribute(name, value);
    if (e.children.empty()) {
        out += "/>\n";
        return;
    }
    out += ">\n";
    for (const Element& c : e.children) writeElement(out, c, e.r, depth + 1);
    out.append(size_t(depth) * 2, ' ');
    out += "</" + e.type + ">\n";
}

void compose(cairo_t* cr, const Element& e, const std::map<int, Surface>& surfaces, bool showPage)
{
    if (e.type == "Page" && !showPage) return;
    if (e.bitmap) {
        cairo_surface_t* s = surfaces.at(e.bitmap).get();
        const int frameHeight = cairo_image_surface_get_height(s) / e.frames;
        cairo_save(cr);
        cairo_rectangle(cr, e.r.x, e.r.y, e.r.w, e.r.h);
        cairo_clip(cr);
        cairo_set_source_surface(cr, s, e.r.x, e.r.y - e.shownFrame * frameHeight);
        cairo_paint(cr);
        cairo_restore(cr);
    }
    if (e.previewText) e.previewText(cr);
    for (const Element& c : e.children) compose(cr, c, surfaces, showPage);
}

bool writePng(cairo_surface_t* s, const fs::path& path)
{
    if (cairo_surface_write_to_png(s, path.c_str()) == CAIRO_STATUS_SUCCESS) return true;
    std::fprintf(stderr, "make-skin: cannot write %s\n", path.c_str());
    return false;
}

}  // namespace

}  // namespace tonewright

int main(int argc, char** argv)
{
    using namespace tonewright;
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-skin OUTPUT-FOLDER\n");
        return 2;
    }
    const fs::path out = argv[1];
    std::error_code ec;
    fs::create_directories(out, ec);

    Skin skin = buildSkin();
    if (!checkParameters(skin)) return 1;

    std::map<int, Surface> surfaces;
    for (const auto& [id, bitmap] : skin.bitmaps) {
        Surface s = render(bitmap);
        if (!writePng(s.get(), out / (std::to_string(id) + ".png"))) return 1;
        surfaces.emplace(id, std::move(s));
    }

    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<!-- The editor's skin, written by tools/make_skin.cpp: edit that, not this. -->\n"
                      "<skin>\n";
    writeElement(xml, skin.main, Rect{}, 1);
    xml += "</skin>\n";
    std::ofstream file(out / "ui.xml", std::ios::binary);
    file << xml;
    file.close();
    if (!file) {
        std::fprintf(stderr, "make-skin: cannot write %s\n", (out / "ui.xml").c_str());
        return 1;
    }

    for (const bool more : {false, true}) {
        Surface preview(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, kHeight), &cairo_surface_destroy);
        cairo_t* cr = cairo_create(preview.get());
        prepare(cr);
        compose(cr, skin.main, surfaces, more);
        cairo_destroy(cr);
        if (!writePng(preview.get(), out / (more ? "preview-more.png" : "preview.png"))) return 1;
    }
    return 0;
}
