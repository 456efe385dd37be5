#include "sim/vorlix/engine/redo.h"

#include <algorithm>
#include <set>

namespace vorlix {

std::string encodeRedo(const RedoRecord& record) {
    ByteWriter body;
    body.u64(record.change).u32(uint32_t(record.file)).u32(record.block).u8(uint8_t(record.kind));
    if (record.kind == RedoRecord::Kind::BlockImage)
        body.text(record.image);
    else
        writeRow(body, record.row);
    return ByteWriter().u32(uint32_t(body.size())).bytes(body.done()).done();
}

std::vector<RedoRecord> decodeRedo(const std::string& bytes) {
    std::vector<RedoRecord> records;
    ByteReader in(bytes);
    while (in.remaining() >= 4) {
        uint32_t length = in.u32();
        if (length == 0 || length > in.remaining()) break;
        size_t end = in.position() + length;
        ByteReader body(bytes, in.position(), end);
        in.bytes(length);
        RedoRecord r;
        r.change = body.u64();
        r.file = int(body.u32());
        r.block = body.u32();
        r.kind = RedoRecord::Kind(body.u8());
        if (r.kind == RedoRecord::Kind::BlockImage) {
            r.image = body.text();
        } else if (auto row = readRow(body)) {
            r.row = std::move(*row);
        } else {
            break;
        }
        if (body.failed()) break;
        records.push_back(std::move(r));
    }
    return records;
}

std::string padToLogBlocks(std::string body) {
    body.resize((body.size() + kHeaderBlockSize - 1) / kHeaderBlockSize * kHeaderBlockSize, '\0');
    return body;
}

std::vector<int> OnlineLog::groups() const {
    std::set<int> numbers;
    for (const auto& m : s_.logMembers) numbers.insert(m.group);
    return {numbers.begin(), numbers.end()};
}

std::vector<std::string> OnlineLog::members(int group) const {
    std::vector<std::string> names;
    for (const auto& m : s_.logMembers) {
        if (m.group == group) names.push_back(m.member);
    }
    return names;
}

int OnlineLog::currentGroup() const {
    auto numbers = groups();
    if (numbers.empty()) return 0;
    return numbers[size_t(std::max(s_.logSequence - 1, 0)) % numbers.size()];
}

bool OnlineLog::write(const std::string& records) {
    bool written = false;
    for (const auto& name : members(currentGroup())) written |= storage_.append(name, records);
    return written;
}

std::optional<std::string> OnlineLog::currentBody() {
    for (const auto& name : members(currentGroup())) {
        auto bytes = storage_.readAll(name);
        auto header = bytes ? decodeOnlineLogHeader(*bytes) : std::nullopt;
        if (header && header->dbid == s_.dbid && header->sequence == s_.logSequence &&
            header->resetlogsChange == s_.resetlogsChange)
            return bytes->substr(kHeaderBlockSize);
    }
    return std::nullopt;
}

bool OnlineLog::startCurrent() {
    int group = currentGroup();
    OnlineLogHeader h{s_.dbid, group, s_.logSequence, s_.logFirstChange, s_.resetlogsChange};
    bool written = true;
    for (const auto& name : members(group)) written &= storage_.createFile(name, encodeHeader(h));
    return written;
}

bool OnlineLog::createAll() {
    bool written = true;
    for (int group : groups()) {
        OnlineLogHeader unused{s_.dbid, group, 0, 0, s_.resetlogsChange};
        for (const auto& name : members(group))
            written &= storage_.createFile(name, encodeHeader(unused));
    }
    return written && startCurrent();
}

}  // namespace vorlix
