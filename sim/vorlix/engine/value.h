#pragma once
// A value of the database: null, a number or a text. Empty text is null, as
// the server has always treated it.

#include <optional>
#include <string>

namespace vorlix {

class Value {
public:
    enum class Kind { Null, Number, Text };

    Value() = default;
    static Value number(double n) { return Value(Kind::Number, n, {}); }
    static Value text(std::string s) {
        return s.empty() ? Value() : Value(Kind::Text, 0, std::move(s));
    }
    static Value boolean(bool b) { return number(b ? 1 : 0); }

    Kind kind() const { return kind_; }
    bool isNull() const { return kind_ == Kind::Null; }
    bool isNumber() const { return kind_ == Kind::Number; }
    bool isText() const { return kind_ == Kind::Text; }

    // Numbers as text use the shortest exact form ("42", "0.5").
    std::string asText() const;
    // Text is converted as the server does; not a number throws error 1722.
    double asNumber() const;

    bool operator==(const Value& other) const {
        return kind_ == other.kind_ && number_ == other.number_ && text_ == other.text_;
    }

private:
    Value(Kind kind, double n, std::string s) : kind_(kind), number_(n), text_(std::move(s)) {}
    Kind kind_ = Kind::Null;
    double number_ = 0;
    std::string text_;
};

std::string formatNumber(double n);
std::optional<double> parseNumber(const std::string& text);

// Total order used by ORDER BY, DISTINCT and UNION: nulls last, numbers before texts.
int compareForSort(const Value& a, const Value& b);

}  // namespace vorlix
