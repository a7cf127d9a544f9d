#include "core/journal.h"

#include "core/extended.h"

#include <zlib.h>

#include <bit>
#include <cstring>
#include <algorithm>
#include <optional>

namespace potencor::journal {
namespace {

// A name, then two bytes no text has: a protocol file is never taken for a
// journal.
constexpr std::string_view kMagic{"POTENCOR-JOURNAL\n\x01\0", 19};

enum Type : std::uint8_t { kSnapshot = 1, kEdit = 2, kPointAppended = 3, kPointRemoved = 4, kCount = 5, kLabels = 6 };

// Points are kept to the last bit: 80-bit extended values in ten bytes.
constexpr std::size_t kExtendedBytes = std::tuple_size_v<extended::Bytes>;

// Framing: body length (u32), CRC-32 of type and body (u32), type (u8), body.
constexpr std::size_t kFrameBytes = 9;
// A text of more than this is no protocol the program can hold.
constexpr std::uint32_t kMaxRecordBytes = 1u << 30;

// A record built in place behind room for its frame (and behind the file's
// header, for a new file's first record), so that a snapshot of a long
// protocol is written once, not copied again.
class Writer {
public:
    explicit Writer(Type type, std::size_t expectedBodyBytes = 0, std::string_view prefix = {})
    {
        out_.reserve(prefix.size() + kFrameBytes + expectedBodyBytes);
        out_.assign(prefix);
        frameAt_ = out_.size();
        out_.resize(frameAt_ + kFrameBytes - 1); // length and CRC, once the body is known
        out_.push_back(static_cast<char>(type));
    }
    void u8(std::uint8_t v) { out_.push_back(static_cast<char>(v)); }
    void u32(std::uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            out_.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
    void i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }
    void extended(long double v)
    {
        for (const unsigned char b : extended::toBytes(v))
            out_.push_back(static_cast<char>(b));
    }
    void text(std::u16string_view t)
    {
        u32(static_cast<std::uint32_t>(t.size()));
        units(t);
    }
    // UTF-16LE, without the count (text() writes it).
    void units(std::u16string_view t)
    {
        if (t.empty())
            return; // its data() may be null, which memcpy must not be given
        const std::size_t at = out_.size();
        out_.resize(at + 2 * t.size());
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(out_.data() + at, t.data(), 2 * t.size());
        } else {
            char* o = out_.data() + at;
            for (const char16_t c : t) {
                *o++ = static_cast<char>(c & 0xFF);
                *o++ = static_cast<char>(c >> 8);
            }
        }
    }
    std::string finish()
    {
        const char* typed = out_.data() + frameAt_ + kFrameBytes - 1;
        const std::size_t typedBytes = out_.size() - (frameAt_ + kFrameBytes - 1);
        putU32(frameAt_, static_cast<std::uint32_t>(typedBytes - 1));
        putU32(frameAt_ + 4,
               static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(typed), static_cast<uInt>(typedBytes))));
        return std::move(out_);
    }

    std::size_t size() const { return out_.size(); }
    void putU32(std::size_t at, std::uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            out_[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    }
private:
    std::string out_; // prefix, frame, type byte, body
    std::size_t frameAt_ = 0;
};

class Reader {
public:
    explicit Reader(std::string_view bytes) : rest_(bytes) {}
    bool atEnd() const { return rest_.empty(); }
    std::size_t left() const { return rest_.size(); }
    bool u8(std::uint8_t& v)
    {
        if (rest_.empty())
            return false;
        v = static_cast<std::uint8_t>(rest_[0]);
        rest_.remove_prefix(1);
        return true;
    }
    bool u32(std::uint32_t& v)
    {
        if (rest_.size() < 4)
            return false;
        v = 0;
        for (int i = 0; i < 4; ++i)
            v |= static_cast<std::uint32_t>(static_cast<unsigned char>(rest_[i])) << (8 * i);
        rest_.remove_prefix(4);
        return true;
    }
    bool i32(std::int32_t& v)
    {
        std::uint32_t u = 0;
        if (!u32(u))
            return false;
        v = static_cast<std::int32_t>(u);
        return true;
    }
    bool extended(long double& v)
    {
        if (rest_.size() < kExtendedBytes)
            return false;
        extended::Bytes b;
        for (std::size_t i = 0; i < kExtendedBytes; ++i)
            b[i] = static_cast<unsigned char>(rest_[i]);
        rest_.remove_prefix(kExtendedBytes);
        v = extended::fromBytes(b);
        return true;
    }
    bool text(std::u16string& t)
    {
        std::uint32_t n = 0;
        if (!u32(n) || rest_.size() / 2 < n)
            return false;
        t.resize(n);
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(t.data(), rest_.data(), 2 * std::size_t{n});
        } else {
            for (std::uint32_t i = 0; i < n; ++i)
                t[i] = static_cast<char16_t>(static_cast<unsigned char>(rest_[2 * i])
                                             | (static_cast<unsigned char>(rest_[2 * i + 1]) << 8));
        }
        rest_.remove_prefix(2 * std::size_t{n});
        return true;
    }

private:
    std::string_view rest_;
};

bool readPoint(Reader& r, MeasuredPoint& p)
{
    return r.i32(p.number) && r.extended(p.X1_cm) && r.extended(p.Y1_cm);
}

void writePoint(Writer& w, const MeasuredPoint& p)
{
    w.i32(p.number);
    w.extended(p.X1_cm);
    w.extended(p.Y1_cm);
}

// The session's parts as the records change them.
struct Parts {
    std::vector<MeasuredPoint> points;
    std::int32_t count = 0;
    bool labels = false;
};

bool readSnapshot(Reader& r, std::u16string& protocol, Parts& parts)
{
    std::uint32_t n = 0;
    std::uint8_t labels = 0;
    if (!r.i32(parts.count) || !r.u8(labels) || labels > 1 || !r.u32(n))
        return false;
    parts.labels = labels != 0;
    parts.points.clear();
    // Only as many as the bytes can hold: a count is no reason to allocate.
    parts.points.reserve(std::min<std::size_t>(n, r.left() / (4 + 2 * kExtendedBytes)));
    for (std::uint32_t i = 0; i < n; ++i) {
        MeasuredPoint p{};
        if (!readPoint(r, p))
            return false;
        parts.points.push_back(p);
    }
    return r.text(protocol) && r.atEnd();
}

// Applies one record's body; false, and the state unchanged, when it does
// not fit the state.
bool apply(std::uint8_t type, std::string_view body, std::u16string& protocol, Parts& parts)
{
    Reader r(body);
    switch (type) {
    case kEdit: {
        std::uint32_t position = 0, removed = 0;
        std::u16string inserted;
        return r.u32(position) && r.u32(removed) && r.text(inserted) && r.atEnd()
            && applyEdit(protocol, position, removed, inserted);
    }
    case kPointAppended: {
        MeasuredPoint p{};
        if (!readPoint(r, p) || !r.atEnd())
            return false;
        parts.points.push_back(p);
        return true;
    }
    case kPointRemoved:
        if (parts.points.empty() || !r.atEnd())
            return false;
        parts.points.pop_back();
        return true;
    case kCount: {
        std::int32_t count = 0;
        if (!r.i32(count) || !r.atEnd() || count < 0)
            return false;
        parts.count = count;
        return true;
    }
    case kLabels: {
        std::uint8_t v = 0;
        if (!r.u8(v) || v > 1 || !r.atEnd())
            return false;
        parts.labels = v != 0;
        return true;
    }
    default:
        return false;
    }
}

std::uint32_t crcOf(std::string_view bytes)
{
    return static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

// Whether a body has the length its kind of record always has.
bool plausible(std::uint8_t type, std::string_view body)
{
    switch (type) {
    case kEdit: {
        Reader r(body);
        std::uint32_t position = 0, removed = 0, n = 0;
        return r.u32(position) && r.u32(removed) && r.u32(n) && body.size() == 12 + 2 * std::size_t{n};
    }
    case kPointAppended:
        return body.size() == 4 + 2 * kExtendedBytes;
    case kPointRemoved:
        return body.empty();
    case kCount:
        return body.size() == 4;
    case kLabels:
        return body.size() == 1 && static_cast<unsigned char>(body[0]) <= 1;
    default:
        return false;
    }
}

// Whether a whole, checksummed record starts anywhere in the bytes: then the
// damage before them is no write cut short by a crash, which leaves nothing
// whole behind it. The length each kind of record has is checked first, so
// few places cost a checksum; bytes made to defeat that cost at most about
// twice their size, and then count as holding a record.
bool holdsWholeRecord(std::string_view bytes)
{
    std::uint64_t budget = 2 * std::uint64_t{bytes.size()} + 4096;
    for (std::size_t i = 0; bytes.size() - i >= kFrameBytes; ++i) {
        Reader frame(bytes.substr(i));
        std::uint32_t length = 0, crc = 0;
        std::uint8_t type = 0;
        frame.u32(length);
        frame.u32(crc);
        frame.u8(type);
        if (length > bytes.size() - i - kFrameBytes || !plausible(type, bytes.substr(i + kFrameBytes, length)))
            continue;
        if (budget <= length)
            return true;
        budget -= length + 1;
        if (crcOf(bytes.substr(i + kFrameBytes - 1, std::size_t{length} + 1)) == crc)
            return true;
    }
    return false;
}

} // namespace

std::string header() { return std::string(kMagic); }

struct SnapshotBuilder::Impl {
    Writer w;
    std::size_t countAt = 0; // of the text's length, once known
    std::size_t units = 0;
};

SnapshotBuilder::SnapshotBuilder(const Session& session, std::size_t expectedTextUnits)
    : SnapshotBuilder(session, expectedTextUnits, true)
{
}

SnapshotBuilder::SnapshotBuilder(const Session& session, std::size_t expectedTextUnits, bool withHeader)
    : impl_(std::make_unique<Impl>(
          Impl{Writer(kSnapshot, 13 + session.points().size() * (4 + 2 * kExtendedBytes) + 2 * expectedTextUnits,
                      withHeader ? kMagic : std::string_view())}))
{
    Writer& w = impl_->w;
    w.i32(session.count());
    w.u8(session.labelsVisible() ? 1 : 0);
    w.u32(static_cast<std::uint32_t>(session.points().size()));
    for (const MeasuredPoint& p : session.points())
        writePoint(w, p);
    impl_->countAt = w.size();
    w.u32(0);
}

SnapshotBuilder::~SnapshotBuilder() = default;

void SnapshotBuilder::appendText(std::u16string_view part)
{
    impl_->units += part.size();
    impl_->w.units(part);
}

std::string SnapshotBuilder::finish()
{
    impl_->w.putU32(impl_->countAt, static_cast<std::uint32_t>(impl_->units));
    return impl_->w.finish();
}

std::string snapshot(const State& state)
{
    SnapshotBuilder b(state.session, state.protocol.size(), false);
    b.appendText(state.protocol);
    return b.finish();
}

std::string edit(std::uint32_t position, std::uint32_t removed, std::u16string_view inserted)
{
    Writer w(kEdit, 12 + 2 * inserted.size());
    w.u32(position);
    w.u32(removed);
    w.text(inserted);
    return w.finish();
}

std::string pointAppended(const MeasuredPoint& point)
{
    Writer w(kPointAppended);
    writePoint(w, point);
    return w.finish();
}

std::string pointRemoved() { return Writer(kPointRemoved).finish(); }

std::string count(std::int32_t value)
{
    Writer w(kCount);
    w.i32(value);
    return w.finish();
}

std::string labels(bool visible)
{
    Writer w(kLabels);
    w.u8(visible ? 1 : 0);
    return w.finish();
}

bool applyEdit(std::u16string& text, std::uint32_t position, std::uint32_t removed, std::u16string_view inserted)
{
    if (position > text.size() || removed > text.size() - position)
        return false;
    text.replace(position, removed, inserted);
    return true;
}

ReadResult read(std::string_view bytes)
{
    ReadResult result;
    if (!bytes.starts_with(kMagic)) {
        result.detail = "no journal header";
        return result;
    }
    const std::size_t fileBytes = bytes.size();
    bytes.remove_prefix(kMagic.size());

    std::u16string protocol;
    Parts parts;
    bool first = true;
    while (!bytes.empty()) {
        Reader frame(bytes);
        std::uint32_t length = 0, crc = 0;
        std::uint8_t type = 0;
        const bool whole = bytes.size() >= kFrameBytes && frame.u32(length) && frame.u32(crc) && frame.u8(type)
            && length <= kMaxRecordBytes && bytes.size() - kFrameBytes >= length;
        const bool crcOk = whole && crcOf(bytes.substr(kFrameBytes - 1, std::size_t{length} + 1)) == crc;
        const std::string_view body = whole ? bytes.substr(kFrameBytes, length) : std::string_view();
        if (first) {
            Reader r(body);
            if (!crcOk || type != kSnapshot || !readSnapshot(r, protocol, parts)) {
                result.status = ReadResult::Status::Corrupt;
                result.detail = !whole ? "snapshot cut short" : "bad snapshot";
                return result;
            }
            first = false;
        } else if (!crcOk) {
            if (!holdsWholeRecord(bytes.substr(1))) {
                // The last write did not reach the disk whole: keep what did.
                result.tornTail = true;
                break;
            }
            result.status = ReadResult::Status::Partial;
            result.damagedAt = fileBytes - bytes.size();
            result.detail = "a damaged record before whole ones";
            break;
        } else if (type == kSnapshot || !apply(type, body, protocol, parts)) {
            // Checksummed as written, yet not what the program writes: nothing
            // in the file can be trusted.
            result.status = ReadResult::Status::Corrupt;
            result.detail = "bad record";
            return result;
        }
        bytes.remove_prefix(kFrameBytes + length);
    }
    if (first) {
        result.status = ReadResult::Status::Corrupt;
        result.detail = "no snapshot";
        return result;
    }
    if (result.status != ReadResult::Status::Partial)
        result.status = ReadResult::Status::Ok;
    result.state.protocol = std::move(protocol);
    result.state.session = Session::restored(std::move(parts.points), parts.count, parts.labels);
    return result;
}

} // namespace potencor::journal
