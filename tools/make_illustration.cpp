// Renders the About window's illustration: the measurement plane in
// perspective, coloured by this program's own potential on a rainbow hue
// scale, pierced by the two electrodes, inside a thin wire-frame box.
//
//   make_illustration <out.bmp>
//
// Output: 1135 x 710 px, 24 bpp uncompressed BMP, 2835 px/m. Ray-cast with
// 4 x 4 samples per pixel so the grid, the rims and the box edges come out
// smooth without any drawing library beyond QImage.
#include "core/field.h"

#include <QColor>
#include <QFile>
#include <QImage>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>

namespace {

constexpr int kWidthPx = 1135;
constexpr int kHeightPx = 710;
constexpr int kDotsPerMeter = 2835;
constexpr int kSamplesPerSide = 4;
constexpr double kMarginPx = 14.0;

// Scene, cm: the plane z = 0 spans the chart's plot area.
constexpr double kPlaneW = 42.83;
constexpr double kPlaneH = 30.0;
constexpr double kCylBottom = -14.0;
constexpr double kCylTop = 10.5;
constexpr double kBoxBottom = -15.5;
constexpr double kBoxTop = 12.0;
constexpr double kGridHalfWidthCm = 0.035;
constexpr double kEdgeWidthPx = 1.1;

struct V3 {
    double x, y, z;
};
V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 operator*(V3 a, double k) { return {a.x * k, a.y * k, a.z * k}; }
double dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V3 cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
V3 normalized(V3 a) { return a * (1.0 / std::sqrt(dot(a, a))); }

struct Rgb {
    double r, g, b;
};
Rgb operator*(Rgb c, double k) { return {c.r * k, c.g * k, c.b * k}; }
Rgb operator+(Rgb a, Rgb b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }

const Rgb kWhite{1.0, 1.0, 1.0};
const Rgb kCylinderGrey{0.86, 0.86, 0.87};
const Rgb kCapOrange{1.0, 0.84, 0.66};
const Rgb kEdgeGrey{0.35, 0.35, 0.38};

struct Camera {
    V3 eye, forward, right, up;
    double scalePx = 1.0; // px per unit of the image plane at distance 1
    double centreX = 0.0, centreY = 0.0;

    // Image-plane coordinates of a world point (before the px fit).
    std::pair<double, double> project(V3 p) const
    {
        const V3 q = p - eye;
        const double depth = dot(q, forward);
        return {dot(q, right) / depth, dot(q, up) / depth};
    }

    V3 rayThrough(double px, double py) const
    {
        const double u = (px - centreX) / scalePx;
        const double v = (centreY - py) / scalePx;
        return normalized(forward + right * u + up * v);
    }
};

Camera makeCamera()
{
    const V3 target{kPlaneW / 2, kPlaneH / 2, -0.5};
    const double azimuth = -22.0 * M_PI / 180.0; // seen from the front left
    const double elevation = 25.0 * M_PI / 180.0;
    const double distance = 115.0;
    Camera cam;
    cam.eye = target
        + V3{std::cos(elevation) * std::sin(azimuth), -std::cos(elevation) * std::cos(azimuth),
             std::sin(elevation)}
            * distance;
    cam.forward = normalized(target - cam.eye);
    cam.right = normalized(cross(cam.forward, V3{0, 0, 1}));
    cam.up = cross(cam.right, cam.forward);

    // Fit the box's corners into the picture with a small white margin.
    double uMin = 1e9, uMax = -1e9, vMin = 1e9, vMax = -1e9;
    for (double x : {0.0, kPlaneW})
        for (double y : {0.0, kPlaneH})
            for (double z : {kBoxBottom, kBoxTop}) {
                const auto [u, v] = cam.project({x, y, z});
                uMin = std::min(uMin, u);
                uMax = std::max(uMax, u);
                vMin = std::min(vMin, v);
                vMax = std::max(vMax, v);
            }
    cam.scalePx = std::min((kWidthPx - 2 * kMarginPx) / (uMax - uMin),
                           (kHeightPx - 2 * kMarginPx) / (vMax - vMin));
    cam.centreX = kWidthPx / 2.0 - cam.scalePx * (uMin + uMax) / 2;
    cam.centreY = kHeightPx / 2.0 + cam.scalePx * (vMin + vMax) / 2;
    return cam;
}

struct Hit {
    double t = std::numeric_limits<double>::infinity();
    Rgb colour = kWhite;
};

// Rainbow hue of the potential: red at the left electrode (0 V) through
// yellow, green, cyan (6.3 V), blue and magenta back to red at 12.6 V.
Rgb potentialColour(double x_cm, double y_cm)
{
    const double volts = static_cast<double>(potencor::field::potential(x_cm, y_cm));
    const double hue = std::clamp(volts / 12.6, 0.0, 1.0) * 0.999;
    const QColor c = QColor::fromHsvF(static_cast<float>(hue), 0.78f, 1.0f);
    return {c.redF(), c.greenF(), c.blueF()};
}

bool insideElectrode(double x, double y)
{
    using namespace potencor::field;
    const double r = static_cast<double>(R);
    for (double cx : {static_cast<double>(xc1), static_cast<double>(xc2)}) {
        const double dx = x - cx;
        const double dy = y - static_cast<double>(yc);
        if (dx * dx + dy * dy < r * r)
            return true;
    }
    return false;
}

void hitPlane(V3 eye, V3 dir, Hit& best)
{
    if (std::abs(dir.z) < 1e-12)
        return;
    const double t = -eye.z / dir.z;
    if (t <= 0 || t >= best.t)
        return;
    const V3 p = eye + dir * t;
    if (p.x < 0 || p.x > kPlaneW || p.y < 0 || p.y > kPlaneH || insideElectrode(p.x, p.y))
        return;
    Rgb c = potentialColour(p.x, p.y);
    const double gx = std::abs(p.x - std::round(p.x));
    const double gy = std::abs(p.y - std::round(p.y));
    if (std::min(gx, gy) < kGridHalfWidthCm)
        c = c * 0.62;
    // The top of the plane faces the light a little less than the caps.
    best = {t, c * 0.97};
}

void hitCylinder(V3 eye, V3 dir, double cx, double cy, Hit& best)
{
    const double r = static_cast<double>(potencor::field::R);
    const V3 light = normalized({-0.55, -0.75, 0.55});

    // Side wall: the nearer root whose height lies on the cylinder.
    const double ox = eye.x - cx;
    const double oy = eye.y - cy;
    const double a = dir.x * dir.x + dir.y * dir.y;
    const double b = 2 * (ox * dir.x + oy * dir.y);
    const double c = ox * ox + oy * oy - r * r;
    const double disc = b * b - 4 * a * c;
    if (a > 1e-12 && disc >= 0) {
        const double t = (-b - std::sqrt(disc)) / (2 * a);
        const V3 p = eye + dir * t;
        if (t > 0 && t < best.t && p.z >= kCylBottom && p.z <= kCylTop) {
            const V3 n{(p.x - cx) / r, (p.y - cy) / r, 0};
            const double diffuse = std::max(0.0, dot(n, light));
            const V3 half = normalized(light - dir);
            const double specular = std::pow(std::max(0.0, dot(n, half)), 40.0) * 0.25;
            best = {t, kCylinderGrey * (0.62 + 0.42 * diffuse) + Rgb{specular, specular, specular}};
        }
    }
    // End faces: the camera is above the plane, so only the top one shows.
    if (std::abs(dir.z) > 1e-12) {
        const double t = (kCylTop - eye.z) / dir.z;
        const V3 p = eye + dir * t;
        const double dx = p.x - cx;
        const double dy = p.y - cy;
        if (t > 0 && t < best.t && dx * dx + dy * dy <= r * r)
            best = {t, kCapOrange * (0.8 + 0.2 * light.z)};
    }
}

struct Segment {
    V3 a, b;
};

std::array<Segment, 12> boxEdges()
{
    std::array<Segment, 12> edges{};
    int n = 0;
    const double xs[] = {0.0, kPlaneW};
    const double ys[] = {0.0, kPlaneH};
    const double zs[] = {kBoxBottom, kBoxTop};
    for (double y : ys)
        for (double z : zs)
            edges[n++] = {{xs[0], y, z}, {xs[1], y, z}};
    for (double x : xs)
        for (double z : zs)
            edges[n++] = {{x, ys[0], z}, {x, ys[1], z}};
    for (double x : xs)
        for (double y : ys)
            edges[n++] = {{x, y, zs[0]}, {x, y, zs[1]}};
    return edges;
}

// Box edges as lines of constant width on screen, hidden behind what lies
// in front of them.
void hitEdges(const Camera& cam, V3 dir, const std::array<Segment, 12>& edges, Hit& best)
{
    for (const Segment& s : edges) {
        const V3 d = s.b - s.a;
        const V3 w = cam.eye - s.a;
        const double dd = dot(d, d);
        const double dr = dot(d, dir);
        const double denom = dd - dr * dr; // |d|^2 |dir|^2 - (d.dir)^2
        if (denom < 1e-12)
            continue;
        double u = (dot(d, w) - dr * dot(dir, w)) / denom; // along the edge
        u = std::clamp(u, 0.0, 1.0);
        const V3 onEdge = s.a + d * u;
        const double t = dot(onEdge - cam.eye, dir);
        if (t <= 0 || t >= best.t)
            continue;
        const V3 miss = onEdge - (cam.eye + dir * t);
        const double missPx = std::sqrt(dot(miss, miss)) / dot(onEdge - cam.eye, cam.forward) * cam.scalePx;
        if (missPx < kEdgeWidthPx / 2)
            best = {t, kEdgeGrey};
    }
}

Rgb shade(const Camera& cam, const std::array<Segment, 12>& edges, double px, double py)
{
    using namespace potencor::field;
    const V3 dir = cam.rayThrough(px, py);
    Hit best;
    hitPlane(cam.eye, dir, best);
    hitCylinder(cam.eye, dir, static_cast<double>(xc1), static_cast<double>(yc), best);
    hitCylinder(cam.eye, dir, static_cast<double>(xc2), static_cast<double>(yc), best);
    hitEdges(cam, dir, edges, best);
    return best.colour;
}

QImage render()
{
    const Camera cam = makeCamera();
    const auto edges = boxEdges();
    QImage image(kWidthPx, kHeightPx, QImage::Format_RGB888);
    constexpr int n = kSamplesPerSide;
    for (int y = 0; y < kHeightPx; ++y) {
        uchar* line = image.scanLine(y);
        for (int x = 0; x < kWidthPx; ++x) {
            Rgb sum{0, 0, 0};
            for (int sy = 0; sy < n; ++sy)
                for (int sx = 0; sx < n; ++sx)
                    sum = sum + shade(cam, edges, x + (sx + 0.5) / n, y + (sy + 0.5) / n);
            const Rgb c = sum * (1.0 / (n * n));
            line[3 * x + 0] = static_cast<uchar>(std::lround(std::clamp(c.r, 0.0, 1.0) * 255));
            line[3 * x + 1] = static_cast<uchar>(std::lround(std::clamp(c.g, 0.0, 1.0) * 255));
            line[3 * x + 2] = static_cast<uchar>(std::lround(std::clamp(c.b, 0.0, 1.0) * 255));
        }
    }
    image.setDotsPerMeterX(kDotsPerMeter);
    image.setDotsPerMeterY(kDotsPerMeter);
    return image;
}

// The window relies on the file being a plain 24-bit DIB; refuse anything else.
bool checkBmpHeader(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray h = f.read(54);
    if (h.size() < 54 || !h.startsWith("BM"))
        return false;
    const auto u16 = [&](int at) { return qFromLittleEndian<quint16>(h.constData() + at); };
    const auto i32 = [&](int at) { return qFromLittleEndian<qint32>(h.constData() + at); };
    return i32(18) == kWidthPx && std::abs(i32(22)) == kHeightPx && u16(28) == 24
        && i32(30) == 0 /* BI_RGB */ && i32(38) == kDotsPerMeter && i32(42) == kDotsPerMeter;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_illustration <out.bmp>\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    if (!render().save(out, "BMP")) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    if (!checkBmpHeader(out)) {
        std::fprintf(stderr, "%s is not a 24 bpp uncompressed BMP at 2835 px/m\n", argv[1]);
        return 1;
    }
    return 0;
}
