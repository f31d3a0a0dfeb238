#pragma once
// Picture making for the asset generator: supersampled shapes, shading helpers, a 256-colour palette
// per picture and the 8-bit BMP file form. Deterministic: plain double arithmetic and a fixed-seed hash.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace gen {

struct Colour {
    double r = 0, g = 0, b = 0; // 0..255
};
inline Colour operator+(Colour a, Colour b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
inline Colour operator*(Colour a, double k) { return {a.r * k, a.g * k, a.b * k}; }
inline Colour Mix(Colour a, Colour b, double t) { return a * (1 - t) + b * t; }
inline Colour Grey(double v) { return {v, v, v}; }

inline double Clamp01(double v) { return std::clamp(v, 0.0, 1.0); }
inline double Smooth(double e0, double e1, double v) {
    const double t = Clamp01((v - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}
constexpr double PI = 3.14159265358979323846;

// Fixed-seed integer hash and smooth value noise in 0..1, so that every run makes the same pictures.
inline uint32_t Hash(int32_t x, int32_t y, uint32_t seed) {
    uint32_t h = seed * 0x9E3779B9u ^ static_cast<uint32_t>(x) * 0x85EBCA6Bu ^ static_cast<uint32_t>(y) * 0xC2B2AE35u;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return h;
}
inline double HashUnit(int32_t x, int32_t y, uint32_t seed) { return Hash(x, y, seed) / 4294967296.0; }
inline double Noise(double x, double y, uint32_t seed) {
    const double fx = std::floor(x), fy = std::floor(y);
    const int32_t ix = static_cast<int32_t>(fx), iy = static_cast<int32_t>(fy);
    const double tx = Smooth(0, 1, x - fx), ty = Smooth(0, 1, y - fy);
    const double top = HashUnit(ix, iy, seed) * (1 - tx) + HashUnit(ix + 1, iy, seed) * tx;
    const double bottom = HashUnit(ix, iy + 1, seed) * (1 - tx) + HashUnit(ix + 1, iy + 1, seed) * tx;
    return top * (1 - ty) + bottom * ty;
}
inline double Fractal(double x, double y, uint32_t seed, int octaves = 4) {
    double sum = 0, weight = 0, scale = 1;
    for (int i = 0; i < octaves; i++, scale *= 0.5) {
        sum += Noise(x / scale, y / scale, seed + i) * scale;
        weight += scale;
    }
    return sum / weight;
}

// Signed distances (negative inside) of the shapes the pictures are built from.
inline double SegmentDistance(double px, double py, double ax, double ay, double bx, double by) {
    const double dx = bx - ax, dy = by - ay;
    const double len2 = dx * dx + dy * dy;
    const double t = len2 > 0 ? Clamp01(((px - ax) * dx + (py - ay) * dy) / len2) : 0;
    return std::hypot(px - (ax + t * dx), py - (ay + t * dy));
}
struct Point {
    double x, y;
};
// Signed distance to a convex polygon given in either winding order.
inline double PolygonDistance(double px, double py, const std::vector<Point>& corners) {
    double area = 0;
    for (size_t i = 0; i < corners.size(); i++) {
        const Point a = corners[i], b = corners[(i + 1) % corners.size()];
        area += a.x * b.y - b.x * a.y;
    }
    double inside = -1e9, edge = 1e9;
    for (size_t i = 0; i < corners.size(); i++) {
        const Point a = corners[i], b = corners[(i + 1) % corners.size()];
        const double len = std::hypot(b.x - a.x, b.y - a.y);
        const double side = ((px - a.x) * (b.y - a.y) - (py - a.y) * (b.x - a.x)) / len;
        inside = std::max(inside, area > 0 ? side : -side);
        edge = std::min(edge, SegmentDistance(px, py, a.x, a.y, b.x, b.y));
    }
    return inside <= 0 ? inside : edge;
}

// A unit surface normal, x right, y down, z toward the viewer.
struct Normal {
    double x = 0, y = 0, z = 1;
};
inline Normal MakeNormal(double x, double y, double z) {
    const double len = std::sqrt(x * x + y * y + z * z);
    return {x / len, y / len, z / len};
}
// The normal of a rounded bevel of width bevel at depth inside the edge of a shape, given the outward
// direction (gx, gy) of the distance field.
inline Normal BevelNormal(double depth, double bevel, double gx, double gy) {
    if (depth >= bevel) return {};
    const double u = 1 - std::max(depth, 0.0) / bevel;
    const double slope = u / std::sqrt(std::max(1 - u * u, 0.02));
    return MakeNormal(gx * slope, gy * slope, 1);
}
// Light from the upper left, in front: diffuse and a tight highlight.
inline double Diffuse(Normal n) { return std::max(0.0, (-0.5 * n.x - 0.62 * n.y + 0.6 * n.z) / 0.9925); }
inline double Highlight(Normal n, double power) {
    const Normal h = MakeNormal(-0.5 / 0.9925, -0.62 / 0.9925, 0.6 / 0.9925 + 1);
    return std::pow(std::max(0.0, n.x * h.x + n.y * h.y + n.z * h.z), power);
}
// Polished chrome: the reflection of a sky over a dark horizon, with height within the shape (-1 top,
// 1 bottom) bending the horizon so that flat faces show the classic sky-over-ground band.
inline Colour Chrome(Normal n, double height, Colour sky, Colour zenith) {
    const double up = -2 * n.z * n.y * 0.9 - height * 0.55 + 0.08;
    Colour c;
    if (up > 0)
        c = Mix(sky, zenith, std::pow(Clamp01(up * 1.3), 0.7));
    else
        c = Mix(Colour{64, 58, 62}, Colour{205, 200, 205}, std::pow(Clamp01(-up * 1.5), 0.8));
    return c + Grey(255) * Highlight(n, 40);
}

// A picture being made: the mean colour of the covered samples of every pixel and the covered fraction.
struct Picture {
    int width = 0, height = 0;
    std::vector<Colour> colour;
    std::vector<double> cover;
};
// Returns true and the colour when the sample point (pixel units, pixel centres at +0.5) is on the shape.
using Shader = std::function<bool(double x, double y, Colour& c)>;

inline Picture Render(int width, int height, const Shader& shade, int samples = 4) {
    Picture p{width, height, std::vector<Colour>(width * height), std::vector<double>(width * height)};
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++) {
            Colour sum;
            int hits = 0;
            for (int sy = 0; sy < samples; sy++)
                for (int sx = 0; sx < samples; sx++) {
                    Colour c;
                    if (shade(x + (sx + 0.5) / samples, y + (sy + 0.5) / samples, c)) {
                        sum = sum + c;
                        hits++;
                    }
                }
            if (hits) p.colour[y * width + x] = sum * (1.0 / hits);
            p.cover[y * width + x] = double(hits) / (samples * samples);
        }
    return p;
}

using Rgb = std::array<uint8_t, 3>;

// Pixels barely covered become transparent black; the rest keep the colour of the shape, a little darker
// toward the edge, and never darker than floor in their brightest channel, so no dark halo shows around
// a shape when it is filtered.
inline std::vector<Rgb> SolidPixels(const Picture& p, double floor = 30) {
    std::vector<Rgb> out(p.colour.size());
    for (size_t i = 0; i < out.size(); i++) {
        if (p.cover[i] < 0.3) continue;
        Colour c = p.colour[i] * (0.8 + 0.2 * p.cover[i]);
        c = {std::min(c.r, 255.0), std::min(c.g, 255.0), std::min(c.b, 255.0)};
        const double top = std::max({c.r, c.g, c.b});
        if (top < floor) c = top > 1 ? c * (floor / top) : Grey(floor);
        out[i] = {uint8_t(std::lround(c.r)), uint8_t(std::lround(c.g)), uint8_t(std::lround(c.b))};
    }
    return out;
}

// A palette of at most 255 colours for the non-black pixels (median cut when there are more), index 0 black.
struct Indexed {
    std::array<Rgb, 256> palette{};
    std::vector<uint8_t> index;
};
inline Indexed Quantise(const std::vector<Rgb>& pixels) {
    std::map<Rgb, int> counts;
    for (const Rgb& c : pixels)
        if (c != Rgb{0, 0, 0}) counts[c]++;
    std::vector<std::vector<std::pair<Rgb, int>>> boxes(1, {counts.begin(), counts.end()});
    auto range = [](const std::vector<std::pair<Rgb, int>>& box, int channel) {
        int lo = 255, hi = 0;
        for (const auto& [c, n] : box) lo = std::min<int>(lo, c[channel]), hi = std::max<int>(hi, c[channel]);
        return hi - lo;
    };
    while (boxes.size() < 255) {
        int best = -1, bestChannel = 0;
        double bestScore = 0;
        for (size_t i = 0; i < boxes.size(); i++) {
            if (boxes[i].size() < 2) continue;
            int total = 0;
            for (const auto& entry : boxes[i]) total += entry.second;
            for (int ch = 0; ch < 3; ch++) {
                const double score = range(boxes[i], ch) * std::sqrt(double(total));
                if (score > bestScore) bestScore = score, best = int(i), bestChannel = ch;
            }
        }
        if (best < 0) break;
        auto& box = boxes[best];
        std::sort(box.begin(), box.end(), [&](const auto& a, const auto& b) {
            return a.first[bestChannel] != b.first[bestChannel] ? a.first[bestChannel] < b.first[bestChannel]
                                                                : a.first < b.first;
        });
        const size_t half = box.size() / 2;
        boxes.emplace_back(box.begin() + half, box.end());
        boxes[best].resize(half);
    }
    Indexed out;
    for (size_t i = 0; i < boxes.size() && !boxes[i].empty(); i++) {
        double sum[3] = {}, total = 0;
        for (const auto& [c, n] : boxes[i])
            for (int ch = 0; ch < 3; ch++) sum[ch] += double(c[ch]) * n;
        for (const auto& entry : boxes[i]) total += entry.second;
        Rgb mean;
        for (int ch = 0; ch < 3; ch++) mean[ch] = uint8_t(std::lround(sum[ch] / total));
        out.palette[i + 1] = mean == Rgb{0, 0, 0} ? boxes[i].back().first : mean;
    }
    std::map<Rgb, uint8_t> chosen;
    for (const Rgb& c : pixels) {
        if (c == Rgb{0, 0, 0}) {
            out.index.push_back(0);
            continue;
        }
        auto found = chosen.find(c);
        if (found == chosen.end()) {
            int best = 1;
            double bestDistance = 1e18;
            for (int i = 1; i <= int(boxes.size()); i++) {
                double d = 0;
                const double w[3] = {3, 4, 2};
                for (int ch = 0; ch < 3; ch++) d += w[ch] * std::pow(double(c[ch]) - out.palette[i][ch], 2);
                if (d < bestDistance) bestDistance = d, best = i;
            }
            found = chosen.emplace(c, uint8_t(best)).first;
        }
        out.index.push_back(found->second);
    }
    return out;
}

// The 8-bit BMP form of every embedded picture: 1078 bytes of headers and palette, rows bottom-up,
// padded to 4 bytes.
inline std::vector<uint8_t> BitmapFileBytes(int width, int height, const std::vector<Rgb>& pixels) {
    const Indexed indexed = Quantise(pixels);
    const uint32_t stride = (width + 3) / 4 * 4, imageSize = stride * height, fileSize = 1078 + imageSize;
    std::vector<uint8_t> f(fileSize, 0);
    auto put = [&](size_t at, uint32_t value, int bytes) {
        for (int i = 0; i < bytes; i++) f[at + i] = uint8_t(value >> (8 * i));
    };
    f[0] = 'B', f[1] = 'M';
    put(2, fileSize, 4), put(10, 1078, 4), put(14, 40, 4), put(18, width, 4), put(22, height, 4);
    put(26, 1, 2), put(28, 8, 2), put(34, imageSize, 4), put(46, 256, 4), put(50, 256, 4);
    for (int i = 0; i < 256; i++) {
        f[54 + 4 * i] = indexed.palette[i][2], f[55 + 4 * i] = indexed.palette[i][1], f[56 + 4 * i] = indexed.palette[i][0];
    }
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++) f[1078 + (height - 1 - y) * stride + x] = indexed.index[y * width + x];
    return f;
}

} // namespace gen
