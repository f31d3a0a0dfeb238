#pragma once
// The pictures of the game, each drawn from shapes and shading at its catalogue size.
#include <sstream>

#include "assets/generator/picture.h"

namespace gen {

// A shader made from a signed distance field with a rounded bevel of the given width; the normal and
// the height within the shape (-1 top, 1 bottom) go to the surface function.
using Surface = std::function<Colour(Normal n, double x, double y)>;
inline Shader Bevelled(std::function<double(double, double)> distance, double bevel, Surface surface) {
    return [=](double x, double y, Colour& c) {
        const double d = distance(x, y);
        if (d > 0) return false;
        const double e = 0.25;
        double gx = distance(x + e, y) - distance(x - e, y), gy = distance(x, y + e) - distance(x, y - e);
        const double len = std::hypot(gx, gy);
        if (len > 1e-9) gx /= len, gy /= len;
        c = surface(BevelNormal(-d, bevel, gx, gy), x, y);
        return true;
    };
}

// Grey brushed metal lit from the upper left.
inline Colour Metal(Normal n, double bright = 1) {
    return Grey((48 + 150 * Diffuse(n)) * bright + 150 * Highlight(n, 24));
}

inline double EllipseDistance(double x, double y, double cx, double cy, double rx, double ry) {
    const double k = std::hypot((x - cx) / rx, (y - cy) / ry);
    return (k - 1) * std::min(rx, ry);
}

// ---- the player's ship: a silver pyramid seen from behind and above, pointing up -------------------------
inline Picture PlayerShip() {
    const Point apex{32, 3}, left{5, 49}, right{59, 49}, peak{32, 37};
    return Render(64, 64, [=](double x, double y, Colour& c) {
        const double dl = PolygonDistance(x, y, {apex, peak, left}), dr = PolygonDistance(x, y, {apex, right, peak});
        const double db = PolygonDistance(x, y, {left, peak, right});
        // the light inside shows through a window along the ridge
        const double window = PolygonDistance(x, y, {{32, 13}, {37, 31}, {32, 35}, {27, 31}});
        const double core = std::hypot((x - 32) / 1.0, (y - 28) / 2.2);
        if (window < 0) {
            c = Mix(Colour{90, 150, 255}, Colour{245, 250, 255}, Clamp01(1.15 - core / 6));
            return true;
        }
        if (std::min({dl, dr, db}) < 0) {
            const double down = (y - apex.y) / (left.y - apex.y); // 0 at the nose, 1 at the base
            Colour metal;
            if (db < 0) // the rear face, lit red from the glow below
                metal = Mix(Colour{92, 90, 104}, Colour{165, 70, 66}, Clamp01((y - 40) / 9));
            else if (dl < 0)
                metal = Mix(Colour{244, 247, 252}, Colour{150, 156, 170}, std::pow(down, 0.8));
            else
                metal = Mix(Colour{150, 156, 172}, Colour{66, 70, 86}, std::pow(down, 0.8));
            metal = metal * (0.94 + 0.12 * Noise(x / 1.5, y * 3, 3)); // brushed grain
            // blue-white light spilling onto the metal around the window
            metal = metal + Colour{20, 45, 100} * std::pow(Clamp01(1 - window / 5), 2);
            // a bright edge on the ridges, a slightly darker rim on the outline
            const double ridge = std::min({SegmentDistance(x, y, apex.x, apex.y, peak.x, peak.y),
                                           SegmentDistance(x, y, peak.x, peak.y, left.x, left.y),
                                           SegmentDistance(x, y, peak.x, peak.y, right.x, right.y)});
            metal = Mix(metal, Colour{250, 252, 255}, Clamp01(1 - ridge / 1.2) * 0.7);
            const double outline = -PolygonDistance(x, y, {apex, right, left});
            c = metal * (outline < 1.2 ? 0.8 : 1.0);
            return true;
        }
        // the red glow under the base
        const double glow = EllipseDistance(x, y, 32, 50, 25, 9);
        if (glow < 0 && y > 48) {
            const double t = Clamp01(-glow / 7.0);
            c = Mix(Colour{140, 20, 14}, Colour{255, 190, 130}, t * t * t);
            return true;
        }
        return false;
    });
}

// ---- the missile: a small white and blue rocket pointing up with a red flame --------------------------------
inline Picture Missile() {
    return Render(32, 32, [](double x, double y, Colour& c) {
        const double cx = 16, half = 2.6;
        const double across = (x - cx) / half; // -1 .. 1 over the body
        const Normal body = MakeNormal(across, 0, std::sqrt(std::max(0.0, 1 - across * across)) + 0.05);
        // nose cone, 5 pixels long, then the body down to y 21
        if (y >= 3 && y < 8.5) {
            const double w = half * std::sqrt((y - 3) / 5.5);
            if (std::fabs(x - cx) < w) {
                const Normal n = MakeNormal((x - cx) / (w + 0.3), -0.6, 0.8);
                c = Mix(Colour{90, 140, 255}, Colour{200, 225, 255}, Diffuse(n)) + Grey(120 * Highlight(n, 20));
                return true;
            }
        }
        if (y >= 8.5 && y < 21 && std::fabs(across) < 1) {
            const bool band = y > 12 && y < 14;
            const Colour base = band ? Colour{60, 110, 240} : Colour{225, 230, 240};
            c = base * (0.45 + 0.65 * Diffuse(body)) + Grey(90 * Highlight(body, 16));
            return true;
        }
        // blue fins on both sides of the tail
        const double finL = PolygonDistance(x, y, {{13.6, 15}, {13.6, 21.5}, {9.5, 23}, {9.5, 20.5}});
        const double finR = PolygonDistance(x, y, {{18.4, 15}, {22.5, 20.5}, {22.5, 23}, {18.4, 21.5}});
        if (finL < 0 || finR < 0) {
            c = finL < 0 ? Colour{70, 120, 245} : Colour{40, 75, 190};
            return true;
        }
        // the flame: a teardrop, white-yellow at the nozzle, red at the tail
        if (y >= 21 && y < 31) {
            const double t = (y - 21) / 10;
            const double w = 2.3 * (1 - t * t) + 0.3;
            if (std::fabs(x - cx) < w) {
                const double heat = Clamp01(1 - t * 1.15 - std::fabs(x - cx) / w * 0.35);
                c = heat > 0.5 ? Mix(Colour{255, 170, 40}, Colour{255, 250, 210}, (heat - 0.5) * 2)
                               : Mix(Colour{200, 30, 15}, Colour{255, 170, 40}, heat * 2);
                return true;
            }
        }
        return false;
    });
}

// Fire colour by heat 0..1: dark red, red, orange, yellow, white.
inline Colour Fire(double heat) {
    const Colour stops[] = {{120, 22, 10}, {215, 45, 12}, {255, 130, 20}, {255, 215, 70}, {255, 252, 225}};
    const double t = Clamp01(heat) * 4;
    const int i = std::min(3, int(t));
    return Mix(stops[i], stops[i + 1], t - i);
}

// ---- the explosion, frame 0..9: a bright dot, a growing fireball, a ring breaking up, a last fragment --------
inline Picture Explosion(int frame) {
    return Render(32, 32, [=](double x, double y, Colour& c) {
        const double dx = x - 16, dy = y - 16, r = std::hypot(dx, dy), angle = std::atan2(dy, dx);
        const double wobble = Noise(std::cos(angle) * 2.5 + 10, std::sin(angle) * 2.5 + frame * 3.1, 7);
        const double grain = Fractal(x / 5 + frame * 1.7, y / 5, 11, 3);
        if (frame == 0) {
            if (r > 3.4) return false;
            c = Fire(1.05 - r / 9);
            return true;
        }
        if (frame <= 4) { // the fireball grows and cools at its edge
            const double radius = (3.5 + frame * 2.6) * (0.85 + 0.3 * wobble);
            if (r > radius) return false;
            c = Fire(1.1 - std::pow(r / radius, 1.6) * (0.45 + frame * 0.09) + (grain - 0.5) * 0.45);
            return true;
        }
        if (frame == 9) { // the last small fragment and two sparks
            const double ember = std::hypot(x - 13.5, y - 17.5) / (3.6 * (0.8 + 0.4 * wobble));
            const double spark = std::min(std::hypot(x - 21, y - 11), std::hypot(x - 8.5, y - 10)) / 1.3;
            if (std::min(ember, spark) > 1) return false;
            c = Fire(0.45 - std::min(ember, spark) * 0.3 + (grain - 0.5) * 0.3);
            return true;
        }
        // ring of fire: the hole grows, the ring thins and tears apart
        const double stage = frame - 5; // 0..4
        const double outer = (13.2 + stage * 0.6) * (0.88 + 0.24 * wobble);
        const double inner = outer - (7 - stage * 1.2) * (0.7 + 0.6 * grain);
        if (r > outer || r < inner) return false;
        const double tear = Fractal(std::cos(angle) * 3 + 20, std::sin(angle) * 3 + r / 6, 23 + frame, 3);
        const double keep = 0.28 + stage * 0.11;
        if (tear < keep) return false;
        const double mid = (inner + outer) / 2, across = std::fabs(r - mid) / ((outer - inner) / 2);
        c = Fire(0.85 - stage * 0.14 - across * 0.35 + (grain - 0.5) * 0.4 + (tear - keep) * 0.6);
        return true;
    });
}

// ---- the glow: a soft round blue light, smooth down to exact black ---------------------------------------
inline std::vector<Rgb> Glow() {
    std::vector<Rgb> out(32 * 32);
    for (int y = 0; y < 32; y++)
        for (int x = 0; x < 32; x++) {
            const double r = std::hypot(x + 0.5 - 16, y + 0.5 - 16) / 16;
            const double i = r < 1 ? std::pow(1 - r * r, 3) : 0;
            out[y * 32 + x] = {uint8_t(std::lround(150 * i * i)), uint8_t(std::lround(195 * std::pow(i, 1.5))),
                               uint8_t(std::lround(255 * i))};
        }
    return out;
}

// ---- the five pick-up craft, grey metal ---------------------------------------------------------------------
inline Picture Pickup(int kind) {
    using D = std::function<double(double, double)>;
    switch (kind) {
    case 0: { // a narrow stacked pod: four discs on a spine, the middle ones widest
        const D pod = [](double x, double y) {
            const double rx[] = {4.2, 6.2, 6.6, 4.8}, cy[] = {6.5, 12.5, 19, 25};
            double d = SegmentDistance(x, y, 16, 2.5, 16, 29.5) - 1.4;
            for (int i = 0; i < 4; i++) d = std::min(d, EllipseDistance(x, y, 16, cy[i], rx[i], 3.1));
            return d;
        };
        return Render(32, 32, Bevelled(pod, 3, [](Normal n, double, double y) {
            const double band = 0.9 + 0.18 * std::cos((y - 6.5) * 2 * PI / 6.2);
            return Metal(n, band);
        }));
    }
    case 1: { // an oval hull with swept side fins and a dark canopy
        const D hull = [](double x, double y) { return EllipseDistance(x, y, 16, 16, 6, 13); };
        const D fins = [](double x, double y) {
            const double mx = 16 - std::fabs(x - 16);
            return PolygonDistance(mx, y, {{11, 11}, {11, 21}, {3.5, 26}, {2.5, 23.5}});
        };
        const Shader body = Bevelled(hull, 4.5, [](Normal n, double x, double y) {
            const double canopy = EllipseDistance(x, y, 16, 10, 2.6, 4.2);
            return canopy < 0 ? Grey(70 + 150 * Highlight(n, 6)) : Metal(n, 1.05);
        });
        const Shader fin = Bevelled(fins, 1.5, [](Normal n, double, double) { return Metal(n, 0.8); });
        return Render(32, 32, [=](double x, double y, Colour& c) { return body(x, y, c) || fin(x, y, c); });
    }
    case 2: { // a diamond split into four by a cross
        const D quarter = [](double x, double y) {
            const double diamond = PolygonDistance(x, y, {{16, 1.5}, {30.5, 16}, {16, 30.5}, {1.5, 16}});
            return std::max({diamond, 1.1 - std::fabs(x - 16), 1.1 - std::fabs(y - 16)});
        };
        return Render(32, 32, Bevelled(quarter, 3.5, [](Normal n, double x, double y) {
            const double gem = std::hypot(x - 16, y - 16) < 3.5 ? 0.0 : 1.0;
            return Metal(n, 0.85 + 0.15 * gem);
        }));
    }
    case 3: { // a fighter: slim body, swept wings and a pod at each wing tip
        const D body = [](double x, double y) {
            const double fuselage = PolygonDistance(x, y, {{16, 2}, {18.6, 12}, {18.6, 27}, {13.4, 27}, {13.4, 12}});
            const double wings = PolygonDistance(x, y, {{16, 10}, {25, 20}, {25, 23.5}, {7, 23.5}, {7, 20}});
            return std::min(fuselage, wings);
        };
        const D pods = [](double x, double y) {
            return std::min(SegmentDistance(x, y, 5.5, 12, 5.5, 27), SegmentDistance(x, y, 26.5, 12, 26.5, 27)) - 2.8;
        };
        const Shader hull = Bevelled(body, 2.5, [](Normal n, double, double) { return Metal(n); });
        const Shader tips = Bevelled(pods, 2.8, [](Normal n, double, double) { return Metal(n, 1.1); });
        return Render(32, 32, [=](double x, double y, Colour& c) { return tips(x, y, c) || hull(x, y, c); });
    }
    default: { // a flat kite: a thin raised rim around a flat sail, a spine and a spar
        const D kite = [](double x, double y) {
            return PolygonDistance(x, y, {{16, 2}, {30.5, 10}, {16, 30.5}, {1.5, 10}});
        };
        return Render(32, 32, Bevelled(kite, 1.2, [=](Normal n, double x, double y) {
            const double inset = -kite(x, y);
            const double ridge = std::min(SegmentDistance(x, y, 16, 4, 16, 28), SegmentDistance(x, y, 5, 10, 27, 10));
            if (inset > 1.2 && inset < 2.4) n = MakeNormal(-0.3, -0.4, 0.85); // the rim
            if (ridge < 0.9) n = MakeNormal(x < 16 ? -0.35 : 0.35, -0.3, 0.88);
            const double sail = (x < 16) == (y < 10) ? 0.8 : 0.62;
            return Metal(n, inset > 2.4 && ridge >= 0.9 ? sail : 1.0);
        }));
    }
    }
}

// ---- the seeker: a grey puff of smoke rising, dense billows below thinning into wisps above --------------------
inline Picture SmokePuff() {
    struct Billow {
        double x, y, r;
    };
    const Billow billows[] = {{9.6, 23.2, 5},  {16.2, 22.2, 6.3}, {22.6, 23.4, 4.9}, {12.6, 27.4, 3.9}, {19.8, 27.4, 3.8},
                              {12.4, 16.4, 4.6}, {19.6, 16.8, 4.4}, {16, 12.2, 4},   {13.2, 8.6, 2.4},  {18.6, 9, 2.2}};
    // The surface heights of the billows: the outline stirred by noise so that it does not read as circles,
    // the two highest merged by a soft maximum, and their meeting darkened to a soft crease.
    const auto surface = [=](double x, double y, double& crease) {
        const double wx = x + 1.4 * (Noise(x / 2.5, y / 2.5, 71) - 0.5), wy = y + 1.4 * (Noise(x / 2.5, y / 2.5, 72) - 0.5);
        double first = -1, second = -1, sum = 0;
        for (const Billow& b : billows) {
            const double h2 = b.r * b.r - (wx - b.x) * (wx - b.x) - (wy - b.y) * (wy - b.y);
            if (h2 <= 0) continue;
            const double h = std::sqrt(h2);
            sum += std::exp(1.6 * h);
            if (h > first) second = first, first = h;
            else if (h > second) second = h;
        }
        crease = second > 0 ? std::exp(-(first - second) * (first - second) / 0.7) * Smooth(0, 1.5, second) : 0;
        return sum > 0 ? std::log(sum) / 1.6 : -1.0;
    };
    // Two wisps curling up from the top, thinner toward their tips.
    const auto wisp = [](double x, double y) {
        double best = 0;
        for (int i = 0; i < 2; i++) {
            const double top = 1.5 + 3.5 * i, rise = Clamp01((10 - y) / (10 - top)), side = i ? 1 : -1;
            const double centre = 16 + side * (0.8 + 1.6 * rise) + (i ? 1.6 : -2.4) * std::sin(rise * 3.6) * rise;
            const double halfWidth = (1.9 - 0.3 * i) * (1 - 0.62 * rise) + 0.3 * (Noise(x / 2, y / 2, 73) - 0.5);
            if (y > top && y < 11) best = std::max(best, halfWidth - std::abs(x - centre));
        }
        return best;
    };
    return Render(32, 32, [=](double x, double y, Colour& c) {
        const double fade = 0.6 + 0.4 * Smooth(6, 22, y); // dimmer toward the top
        double crease;
        const double h = surface(x, y, crease);
        if (h > 0) {
            double unused;
            const double e = 0.3, gx = (surface(x + e, y, unused) - h) / e, gy = (surface(x, y + e, unused) - h) / e;
            const Normal n = MakeNormal(-1.3 * gx, -1.3 * gy, 1);
            const double lit = (0.28 + 0.72 * Diffuse(n)) * (1 - 0.3 * crease) * (0.9 + 0.2 * Fractal(x / 2, y / 2, 74, 2));
            c = Grey(58 + 175 * lit * fade * Smooth(0, 1.8, h) + 25 * Smooth(1.8, 4.5, h) * fade);
            return true;
        }
        const double w = wisp(x, y);
        if (w <= 0) return false;
        c = Grey(58 + 70 * Smooth(0, 0.9, w) * fade);
        return true;
    });
}

// ---- the planet: grey-scale, cloud bands, a lit limb -------------------------------------------------------
inline Picture Planet() {
    return Render(128, 128, [](double x, double y, Colour& c) {
        const double radius = 62.5, nx = (x - 64) / radius, ny = (y - 64) / radius;
        const double rr = nx * nx + ny * ny;
        if (rr >= 1) return false;
        const double nz = std::sqrt(1 - rr);
        // bands follow latitude on a sphere tilted by 0.35 rad
        const double tilt = 0.35, by = ny * std::cos(tilt) + nx * std::sin(tilt);
        const double lon = std::atan2(nx * std::cos(tilt) - ny * std::sin(tilt), nz);
        const double lat = std::asin(std::clamp(by, -1.0, 1.0));
        const double swirl = Fractal(lon * 3 + 5, lat * 9, 51, 4);
        const double bands = 0.5 + 0.5 * std::sin(lat * 11 + swirl * 5.5);
        const double clouds = Fractal(lon * 7, lat * 18 + swirl * 2, 61, 3);
        const double albedo = 0.5 + 0.32 * bands + 0.28 * Smooth(0.55, 0.8, clouds);
        const Normal n{nx, ny, nz};
        const double light = Diffuse(n);
        const double limb = std::pow(1 - nz, 2.5) * Clamp01(light * 1.6 + 0.15);
        c = Grey(std::min(255.0, 28 + 235 * albedo * std::pow(light, 0.85) + 220 * limb));
        return true;
    });
}

// ---- chrome strokes: the font and the logo -------------------------------------------------------------------
struct Stroke {
    Point a, b;
};
inline double StrokesDistance(const std::vector<Stroke>& strokes, double x, double y, double radius) {
    double d = 1e9;
    for (const Stroke& s : strokes) d = std::min(d, SegmentDistance(x, y, s.a.x, s.a.y, s.b.x, s.b.y));
    return d - radius;
}
// Polylines "x,y x,y ...; x,y ..." scaled and moved into place.
inline std::vector<Stroke> ParseStrokes(const std::string& text, double scaleX, double scaleY, double left, double top) {
    std::vector<Stroke> out;
    std::stringstream lines(text);
    std::string line;
    while (std::getline(lines, line, ';')) {
        std::stringstream points(line);
        std::string point;
        bool first = true;
        Point last{};
        while (points >> point) {
            const size_t comma = point.find(',');
            const Point p{left + std::stod(point.substr(0, comma)) * scaleX, top + std::stod(point.substr(comma + 1)) * scaleY};
            out.push_back({first ? p : last, p});
            first = false;
            last = p;
        }
    }
    return out;
}

// The 36 glyphs "0"-"9" and "A"-"Z" on a 10 x 16 grid.
inline const char* const GLYPHS[36] = {
    "2,0 8,0 10,2 10,14 8,16 2,16 0,14 0,2 2,0; 7,5 3,11",
    "2,3 5,0 5,16; 2,16 8,16",
    "0,2 2,0 8,0 10,2 10,6 8,8 2,8 0,10 0,16 10,16",
    "0,2 2,0 8,0 10,2 10,6 8,8 10,10 10,14 8,16 2,16 0,14; 4,8 8,8",
    "7,16 7,0 0,11 10,11",
    "10,0 0,0 0,7 8,7 10,9 10,14 8,16 2,16 0,14",
    "9,1 8,0 2,0 0,2 0,14 2,16 8,16 10,14 10,9 8,7 0,7",
    "0,0 10,0 10,3 4,16",
    "2,0 8,0 10,2 10,6 8,8 2,8 0,6 0,2 2,0; 2,8 0,10 0,14 2,16 8,16 10,14 10,10 8,8",
    "1,15 2,16 8,16 10,14 10,2 8,0 2,0 0,2 0,7 2,9 10,9",
    "0,16 0,4 4,0 6,0 10,4 10,16; 0,9 10,9",
    "0,0 0,16 8,16 10,14 10,10 8,8 0,8; 0,0 7,0 9,2 9,6 7,8",
    "10,2 8,0 2,0 0,2 0,14 2,16 8,16 10,14",
    "0,0 0,16 7,16 10,13 10,3 7,0 0,0",
    "10,0 0,0 0,16 10,16; 0,8 7,8",
    "10,0 0,0 0,16; 0,8 7,8",
    "10,2 8,0 2,0 0,2 0,14 2,16 8,16 10,14 10,9 6,9",
    "0,0 0,16; 10,0 10,16; 0,8 10,8",
    "5,0 5,16",
    "10,0 10,14 8,16 2,16 0,14 0,12",
    "0,0 0,16; 10,0 3,8 0,8; 3,8 10,16",
    "0,0 0,16 10,16",
    "0,16 0,0 5,7 10,0 10,16",
    "0,16 0,0 10,16 10,0",
    "3,0 7,0 10,3 10,13 7,16 3,16 0,13 0,3 3,0",
    "0,16 0,0 8,0 10,2 10,7 8,9 0,9",
    "3,0 7,0 10,3 10,13 7,16 3,16 0,13 0,3 3,0; 6,11 10,16",
    "0,16 0,0 8,0 10,2 10,7 8,9 0,9; 5,9 10,16",
    "10,2 8,0 2,0 0,2 0,6 2,8 8,8 10,10 10,14 8,16 2,16 0,14",
    "0,0 10,0; 5,0 5,16",
    "0,0 0,14 2,16 8,16 10,14 10,0",
    "0,0 5,16 10,0",
    "0,0 2,16 5,8 8,16 10,0",
    "0,0 10,16; 10,0 0,16",
    "0,0 5,8 10,0; 5,8 5,16",
    "0,0 10,0 0,16 10,16",
};

inline Colour FontChrome(Normal n, double height) {
    return Chrome(n, height, Colour{232, 236, 244}, Colour{96, 108, 132});
}

inline Picture Font() {
    std::vector<std::vector<Stroke>> glyphs;
    for (int i = 0; i < 36; i++) glyphs.push_back(ParseStrokes(GLYPHS[i], 1.02, 1.1, 16 * i + 2.4, 2.6));
    const double radius = 1.55;
    return Render(575, 23, [&](double x, double y, Colour& c) {
        const auto& strokes = glyphs[std::min(35, int(x / 16))];
        return Bevelled([&](double px, double py) { return StrokesDistance(strokes, px, py, radius); }, radius,
                        [](Normal n, double, double py) { return FontChrome(n, (py - 11.4) / 9); })(x, y, c);
    });
}

// ---- the crystals of the reserve ships: blue on the left, red on the right --------------------------------------
inline Picture Crystals() {
    return Render(32, 23, [](double x, double y, Colour& c) {
        const bool red = x >= 16;
        const double lx = red ? x - 16 : x;
        const std::vector<Point> gem{{8, 1}, {14.5, 7.5}, {14.5, 14}, {8, 22}, {1.5, 14}, {1.5, 7.5}};
        const double d = PolygonDistance(lx, y, gem);
        if (d > 0) return false;
        // six facets around a flat table; light from the upper left
        double shade;
        if (lx < 8)
            shade = y < 7.5 ? 1.0 : (y < 14 ? 0.72 : 0.5);
        else
            shade = y < 7.5 ? 0.8 : (y < 14 ? 0.55 : 0.36);
        const double table = PolygonDistance(lx, y, {{8, 5}, {11.5, 8.5}, {11.5, 13}, {8, 16.5}, {4.5, 13}, {4.5, 8.5}});
        if (table < 0) shade = 0.9 - (y - 5) / 11.5 * 0.3;
        const double edge = std::min(std::fabs(table), -d);
        const Colour deep = red ? Colour{150, 20, 30} : Colour{25, 60, 190};
        const Colour bright = red ? Colour{255, 150, 150} : Colour{150, 200, 255};
        c = Mix(deep, bright, shade * shade) + Grey(edge < 0.7 ? 45 * shade : 0);
        return true;
    });
}

// ---- the title logo: "drifts" in chrome letters bent along an arc -------------------------------------------
inline Picture Logo() {
    // Letters on a flat line, baseline at 0, x-height 34, ascenders 52 (stroke centrelines).
    auto arc = [](std::vector<Stroke>& out, double cx, double cy, double rx, double ry, double from, double to) {
        const int steps = 24;
        for (int i = 0; i < steps; i++) {
            const double a0 = (from + (to - from) * i / steps) * PI / 180, a1 = (from + (to - from) * (i + 1) / steps) * PI / 180;
            out.push_back({{cx + rx * std::cos(a0), cy + ry * std::sin(a0)}, {cx + rx * std::cos(a1), cy + ry * std::sin(a1)}});
        }
    };
    auto line = [](std::vector<Stroke>& out, double x0, double y0, double x1, double y1) { out.push_back({{x0, y0}, {x1, y1}}); };
    const double w = 1.45; // letters a little extended
    std::vector<std::vector<Stroke>> letters(6);
    arc(letters[0], 19 * w, -17, 19 * w, 17, 0, 360), line(letters[0], 38 * w, -52, 38 * w, 0);        // d
    line(letters[1], 0, -34, 0, 0), arc(letters[1], 20 * w, -14, 20 * w, 20, 180, 275);                // r
    line(letters[2], 0, -31, 0, 0), line(letters[2], 0, -47, 0, -46.5);                                 // i under its dot
    line(letters[3], 0, 0, 0, -36), arc(letters[3], 12 * w, -36, 12 * w, 10, 180, 300);                // f, kept low so that
    line(letters[3], -11, -30, 15, -30);                                                                // it clears the word above
    line(letters[4], 0, -50, 0, -12), arc(letters[4], 12 * w, -12, 12 * w, 12, 180, 80);                // t
    line(letters[4], -11, -32, 17, -32);
    arc(letters[5], 0, -25.5, 13 * w, 8.5, -25, -270), arc(letters[5], 0, -8.5, 13 * w, 8.5, -90, 155); // s
    // set side by side with an even gap between the letters' extents
    std::vector<Stroke> s;
    double at = 0;
    for (const auto& letter : letters) {
        double lo = 1e9, hi = -1e9;
        for (const Stroke& k : letter) lo = std::min({lo, k.a.x, k.b.x}), hi = std::max({hi, k.a.x, k.b.x});
        for (Stroke k : letter) s.push_back({{k.a.x - lo + at, k.a.y}, {k.b.x - lo + at, k.b.y}});
        at += hi - lo + 34;
    }
    at -= 34;
    for (Stroke& k : s) k.a.x -= at / 2, k.b.x -= at / 2; // centred on 0
    const double radius = 8, bend = 360, cx = 203, cy = 108 - bend;
    const auto flat = [=](double x, double y, double& u, double& v) {
        const double dx = x - cx, dy = y - cy;
        u = std::atan2(dx, dy) * bend;
        v = std::hypot(dx, dy) - bend;
    };
    const auto distance = [=](double x, double y) {
        double u, v;
        flat(x, y, u, v);
        return StrokesDistance(s, u, v, radius);
    };
    return Render(406, 118, Bevelled(distance, 5.5, [=](Normal n, double x, double y) {
        double u, v;
        flat(x, y, u, v);
        // the chrome band follows the bent letters; a deep blue rim outlines them
        if (-distance(x, y) < 1.4) return Colour{48, 64, 130};
        return Chrome(n, (v + 17) / 25, Colour{238, 242, 255}, Colour{70, 96, 170});
    }), 3);
}

} // namespace gen
