#pragma once
// The recovery journal's format. A journal is a header, a snapshot of the
// session with the protocol's text, then one record per change since. Every
// record is framed and checksummed, so a record torn by a crash or a power cut
// is recognised and dropped, and appending a change costs only the change:
// never the whole protocol.
//
// The protocol's text is kept as the protocol box holds it: UTF-16, '\n'
// between lines. Edit positions count UTF-16 code units of that text.
#include "core/protocol.h"
#include "core/session.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace potencor::journal {

struct State {
    std::u16string protocol;
    Session session;
    bool operator==(const State&) const = default;
    bool empty() const { return protocol.empty() && session.points().empty() && session.count() == 0; }
};

// The file's first bytes; anything else is not a journal of this program.
std::string header();

// No journal the program writes is larger: records are folded into a new
// snapshot once they outweigh the old one, so a journal holds about twice its
// snapshot, and the snapshot of the largest protocol the program opens (its
// text in UTF-16, a point for each line) is well under three times the file.
inline constexpr std::uint64_t kMaxBytes = 8 * static_cast<std::uint64_t>(protocol::kMaxFileBytes);

// Records, each ready to append.
std::string snapshot(const State& state);

// A new journal file's bytes, the header then a snapshot, built in place with
// the protocol's text given by parts: a long protocol is never held whole a
// second time. `expectedTextUnits` only reserves room.
class SnapshotBuilder {
public:
    explicit SnapshotBuilder(const Session& session, std::size_t expectedTextUnits = 0);
    ~SnapshotBuilder();
    SnapshotBuilder(const SnapshotBuilder&) = delete;
    SnapshotBuilder& operator=(const SnapshotBuilder&) = delete;
    void appendText(std::u16string_view part);
    std::string finish();

private:
    friend std::string snapshot(const State& state);
    SnapshotBuilder(const Session& session, std::size_t expectedTextUnits, bool withHeader);
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

std::string edit(std::uint32_t position, std::uint32_t removed, std::u16string_view inserted);
std::string pointAppended(const MeasuredPoint& point);
std::string pointRemoved();
std::string count(std::int32_t value);
std::string labels(bool visible);

struct ReadResult {
    enum class Status {
        Ok,      // state holds the session as of the last whole record
        // A record is damaged, and whole records follow it: not a write cut
        // short but the file changed since. state holds the session before
        // the damage; what follows cannot be read.
        Partial,
        Foreign, // not a journal of this program (or of a later format)
        // A journal, but its snapshot, or a record whose checksum holds, does
        // not fit: not what the program writes, nothing to restore.
        Corrupt,
    };
    Status status = Status::Foreign;
    State state;
    // The last write cut short (the program died while writing it, or the
    // power failed before it reached the disk): dropped.
    bool tornTail = false;
    // Partial: where the damage starts, in bytes from the file's start.
    std::size_t damagedAt = 0;
    std::string detail; // English, for the log and the tests
};

// Never throws: whatever the bytes, a status.
ReadResult read(std::string_view bytes);

// Applies one edit to a text; false (and the text unchanged) when it does not fit.
bool applyEdit(std::u16string& text, std::uint32_t position, std::uint32_t removed, std::u16string_view inserted);

} // namespace potencor::journal
