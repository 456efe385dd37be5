#pragma once
// Cursors: rows handed out one record buffer at a time. Every column is text
// (fldZSTRING): its characters, a terminator, and for a column that can be
// NULL one flag byte after all values.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "interfaces/bde/idapi.h"

namespace idapi {

struct Column {
    std::string name;
    std::uint16_t width;  // characters, terminator not counted
    bool nullable;
};

using Row = std::vector<std::optional<std::string>>;

class Cursor {
public:
    // Throws EngineError(DBIERR_RECTOOBIG) when the record would not fit.
    explicit Cursor(const std::vector<Column>& columns);
    virtual ~Cursor() = default;
    Cursor(const Cursor&) = delete;
    Cursor& operator=(const Cursor&) = delete;

    const std::vector<FLDDesc>& fields() const { return fields_; }
    CURProps properties() const;

    // Moves to the next row and copies its record to `record` (when given);
    // false after the last row.
    bool next(BYTE* record);

    // Field `number` (from 1) of `record`, or of the current row without one.
    void field(UINT16 number, const BYTE* record, BYTE* destination, BOOL* blank) const;

protected:
    virtual std::optional<Row> fetch() = 0;

private:
    std::vector<FLDDesc> fields_;
    std::uint16_t recordSize_ = 0;
    std::vector<BYTE> current_;
};

// Rows known when the cursor opens, such as the alias list.
class ListCursor : public Cursor {
public:
    ListCursor(const std::vector<Column>& columns, std::vector<Row> rows)
        : Cursor(columns), rows_(std::move(rows)) {}

protected:
    std::optional<Row> fetch() override;

private:
    std::vector<Row> rows_;
    std::size_t position_ = 0;
};

}  // namespace idapi
