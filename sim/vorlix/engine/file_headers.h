#pragma once
// The first block of a datafile, a redo log and a control file: what the
// instance writes there and reads back, so a file copied away and back is
// seen as it was.

#include <cstdint>
#include <optional>
#include <string>

namespace vorlix {

constexpr size_t kHeaderBlockSize = 512;
constexpr uint32_t kDatafileBlockSize = 8192;

struct DatafileHeader {
    uint32_t dbid = 0;
    int fileNumber = 0;
    uint64_t checkpoint = 0;
    bool fuzzy = false;
    bool backupMode = false;
    std::string tablespace;
};

struct ArchivedLogHeader {
    uint32_t dbid = 0;
    int sequence = 0;
    uint64_t firstChange = 0;
    uint64_t nextChange = 0;
    uint64_t resetlogsChange = 0;
    uint32_t blocks = 0;
};

// An online log member: the log sequence it holds now (0 while never used).
struct OnlineLogHeader {
    uint32_t dbid = 0;
    int group = 0;
    int sequence = 0;
    uint64_t firstChange = 0;
    uint64_t resetlogsChange = 0;
};

struct ControlFileHeader {
    uint32_t dbid = 0;
    std::string type;  // CURRENT or BACKUP
    uint64_t checkpoint = 0;
};

std::string encodeHeader(const DatafileHeader& h);
std::string encodeHeader(const ArchivedLogHeader& h);
std::string encodeHeader(const OnlineLogHeader& h);
std::string encodeHeader(const ControlFileHeader& h);
std::optional<DatafileHeader> decodeDatafileHeader(const std::string& block);
std::optional<ArchivedLogHeader> decodeArchivedLogHeader(const std::string& block);
std::optional<OnlineLogHeader> decodeOnlineLogHeader(const std::string& block);
std::optional<ControlFileHeader> decodeControlFileHeader(const std::string& block);

}  // namespace vorlix
