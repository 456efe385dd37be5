#include "sim/bde/cursors.h"

#include <algorithm>
#include <cstring>

#include "sim/bde/engine_error.h"

namespace idapi {
namespace {

constexpr std::size_t kMaxRecord = 0xFFFF;

void copyName(const std::string& name, DBINAME& target) {
    const std::size_t length = std::min<std::size_t>(name.size(), DBIMAXNAMELEN);
    std::memcpy(target, name.data(), length);
    target[length] = '\0';
}

}  // namespace

Cursor::Cursor(const std::vector<Column>& columns) {
    std::size_t offset = 0;
    for (const Column& column : columns) {
        FLDDesc field{};
        field.iFldNum = static_cast<UINT16>(fields_.size() + 1);
        copyName(column.name, field.szName);
        field.iFldType = fldZSTRING;
        field.iUnits1 = static_cast<INT16>(column.width);
        field.iOffset = static_cast<UINT16>(offset);
        field.iLen = static_cast<UINT16>(column.width + 1);
        field.efldrRights = fldrREADONLY;
        offset += field.iLen;
        if (offset > kMaxRecord) throw EngineError(DBIERR_RECTOOBIG, {column.name});
        fields_.push_back(field);
    }
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (!columns[i].nullable) continue;
        fields_[i].iNullOffset = static_cast<UINT16>(offset);
        if (++offset > kMaxRecord) throw EngineError(DBIERR_RECTOOBIG, {columns[i].name});
    }
    recordSize_ = static_cast<std::uint16_t>(offset);
}

CURProps Cursor::properties() const {
    CURProps properties{};
    properties.iFields = static_cast<UINT16>(fields_.size());
    properties.iRecSize = recordSize_;
    properties.iRecBufSize = recordSize_;
    properties.eOpenMode = dbiREADONLY;
    properties.iSeqNums = -1;
    properties.exltMode = xltFIELD;
    properties.bUniDirectional = TRUE;
    return properties;
}

bool Cursor::next(BYTE* record) {
    const std::optional<Row> row = fetch();
    if (!row) {
        current_.clear();
        return false;
    }
    current_.assign(recordSize_, 0);
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        const FLDDesc& field = fields_[i];
        const std::optional<std::string>& value = i < row->size() ? (*row)[i] : std::nullopt;
        if (value) {
            std::memcpy(&current_[field.iOffset], value->data(),
                        std::min<std::size_t>(value->size(), field.iLen - 1u));
        } else if (field.iNullOffset != 0) {
            current_[field.iNullOffset] = 1;
        }
    }
    if (record) std::memcpy(record, current_.data(), current_.size());
    return true;
}

void Cursor::field(UINT16 number, const BYTE* record, BYTE* destination, BOOL* blank) const {
    if (number == 0 || number > fields_.size()) throw EngineError(DBIERR_OUTOFRANGE);
    if (!record) {
        if (current_.empty()) throw EngineError(DBIERR_EOF);
        record = current_.data();
    }
    const FLDDesc& field = fields_[number - 1u];
    const bool isBlank =
        field.iNullOffset != 0 ? record[field.iNullOffset] != 0 : record[field.iOffset] == 0;
    if (blank) *blank = isBlank;
    if (!destination) return;
    std::memcpy(destination, record + field.iOffset, field.iLen);
    destination[field.iLen - 1u] = '\0';
}

std::optional<Row> ListCursor::fetch() {
    if (position_ == rows_.size()) return std::nullopt;
    return rows_[position_++];
}

}  // namespace idapi
