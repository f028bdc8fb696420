#include "lib/classQMString10.h"

#include "lib/QMException.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <string>

namespace {

constexpr char HexDigits[] = "0123456789ABCDEF";
constexpr long long MaxCapacity = std::numeric_limits<std::int32_t>::max() - 1;

void WriteHexByte(char* out, std::uint8_t value) {
    out[0] = HexDigits[value >> 4];
    out[1] = HexDigits[value & 0x0F];
}

// Number of characters AssignRange copies from text[first..last]: it starts
// at 0 for a negative first and stops at the text's terminator.
std::int32_t RangeCount(const char* text, std::int32_t first, std::int32_t last) {
    if (!text)
        return 0;
    const long long from = std::max<std::int32_t>(first, 0);
    const long long length = TQMFixedString::StrLength(text);
    if (from >= length)
        return 0;
    const long long wanted = static_cast<long long>(last) - from + 1;
    return static_cast<std::int32_t>(std::clamp(wanted, 0LL, length - from));
}

} // namespace

// --- TQMFixedString ---

TQMFixedString::TQMFixedString() {
    TQMFixedString::InitFields();
}

TQMFixedString::~TQMFixedString() {
    FreeBuffer();
}

void TQMFixedString::InitFields() {
    Count = 0;
    Capacity = 0;
    Buffer.reset();
}

void TQMFixedString::FreeBuffer() {
    if (Buffer) {
        Buffer.reset();
        Count = 0;
        Capacity = 0;
    }
}

void TQMFixedString::RaiseRange(const char* what, long long value) const {
    throw Exception(std::string(ClassName()) + "; " + what + ": " + std::to_string(value));
}

bool TQMFixedString::Aliases(const char* text) const {
    if (!Buffer || !text)
        return false;
    const std::less_equal<const char*> le;
    return le(Buffer.get(), text) && le(text, Buffer.get() + Capacity);
}

void TQMFixedString::AppendFitting(const char* text, std::int32_t n) {
    if (!Buffer)
        return;
    std::memmove(Buffer.get() + Count, text, static_cast<size_t>(n));
    Count += n;
    Buffer[Count] = '\0';
}

void TQMFixedString::ReplaceFitting(const char* text, std::int32_t n) {
    if (!Buffer)
        return;
    // memmove: the text may be a part of this very buffer.
    std::memmove(Buffer.get(), text, static_cast<size_t>(n));
    Count = n;
    Buffer[Count] = '\0';
}

std::int32_t TQMFixedString::StrLength(const char* text) {
    return text ? static_cast<std::int32_t>(std::strlen(text)) : 0;
}

std::int32_t TQMFixedString::FormatDecimal(std::int32_t value, char (&scratch)[12]) {
    // The magnitude as unsigned, so that -2147483648 needs no special case.
    std::uint32_t magnitude =
        value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
    char digits[10];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    int length = 0;
    if (value < 0)
        scratch[length++] = '-';
    while (n > 0)
        scratch[length++] = digits[--n];
    scratch[length] = '\0';
    return length;
}

void TQMFixedString::SetCapacity(std::int32_t n) {
    if (n < 0)
        RaiseRange("capacity out of bounds", n);
    if (n == 0) {
        FreeBuffer();
        return;
    }
    if (n == Capacity)
        return;
    // The old block goes first: a failed allocation leaves the object empty.
    FreeBuffer();
    Buffer = std::make_unique<char[]>(static_cast<size_t>(n) + 1);
    Capacity = n;
}

void TQMFixedString::SetLengthBefore(std::int32_t p) {
    if (p < 1 || p - 1 > Capacity)
        RaiseRange("position out of bounds", p);
    Count = p - 1;
    if (Buffer)
        Buffer[Count] = '\0';
}

void TQMFixedString::RecalcLength() {
    if (!Buffer) {
        Count = 0;
        return;
    }
    // The byte at index Capacity is always zero, so the search ends there.
    Count = static_cast<std::int32_t>(std::strlen(Buffer.get()));
}

void TQMFixedString::SetLength(std::int32_t n) {
    if (n < 0 || n > Capacity)
        RaiseRange("length out of bounds", n);
    Count = n;
    if (Buffer)
        Buffer[Count] = '\0';
}

void TQMFixedString::Append(const char* text) {
    if (!text)
        return;
    // What does not fit is cut off; the text then fills the buffer.
    const std::int32_t n = std::min(StrLength(text), Capacity - Count);
    AppendFitting(text, n);
}

void TQMFixedString::AppendString(const TQMFixedString& other) {
    Append(other.Text());
}

void TQMFixedString::AppendChar(char c) {
    if (Count < Capacity)
        AppendFitting(&c, 1);
}

void TQMFixedString::AppendInt(std::int32_t value) {
    char scratch[12];
    const std::int32_t n = FormatDecimal(value, scratch);
    if (Count + static_cast<long long>(n) <= Capacity)
        AppendFitting(scratch, n);
}

void TQMFixedString::AppendHex8(std::uint8_t value) {
    if (Count + 2LL > Capacity)
        return;
    char digits[2];
    WriteHexByte(digits, value);
    AppendFitting(digits, 2);
}

void TQMFixedString::AppendHex16(std::uint16_t value) {
    if (Count + 4LL > Capacity)
        return;
    char digits[4];
    WriteHexByte(digits, static_cast<std::uint8_t>(value >> 8));
    WriteHexByte(digits + 2, static_cast<std::uint8_t>(value));
    AppendFitting(digits, 4);
}

void TQMFixedString::AppendHex32(std::uint32_t value) {
    if (Count + 8LL > Capacity)
        return;
    char digits[8];
    for (int i = 0; i < 4; ++i)
        WriteHexByte(digits + 2 * i, static_cast<std::uint8_t>(value >> (24 - 8 * i)));
    AppendFitting(digits, 8);
}

void TQMFixedString::AppendDigit(std::uint8_t b) {
    if (Count < Capacity)
        AppendChar(static_cast<char>('0' + b % 10));
}

void TQMFixedString::AppendTwoDigits(std::uint8_t b) {
    AppendDigit(static_cast<std::uint8_t>(b / 10));
    AppendDigit(static_cast<std::uint8_t>(b % 10));
}

void TQMFixedString::AppendCR() {
    AppendChar('\r');
}

void TQMFixedString::Assign(const char* text) {
    if (!text || !Buffer) {
        TQMFixedString::Clear();
        return;
    }
    ReplaceFitting(text, std::min(StrLength(text), Capacity));
}

void TQMFixedString::AssignRange(const char* text, std::int32_t first, std::int32_t last) {
    // Counted before anything is written: text may lie in this buffer.
    const std::int32_t n = std::min(RangeCount(text, first, last), Capacity);
    if (n > 0)
        ReplaceFitting(text + std::max<std::int32_t>(first, 0), n);
    else
        TQMFixedString::Clear();
}

void TQMFixedString::AssignLeft(const char* text, std::int32_t count) {
    AssignRange(text, 0, count > 0 ? count - 1 : -1);
}

void TQMFixedString::AssignString(const TQMFixedString& other) {
    if (other.Length() == 0)
        TQMFixedString::Clear();
    else
        Assign(other.Text());
}

void TQMFixedString::AssignStringRange(const TQMFixedString& other, std::int32_t first,
                                       std::int32_t last) {
    if (other.Length() == 0)
        TQMFixedString::Clear();
    else
        AssignRange(other.Text(), first, last);
}

void TQMFixedString::Clear() {
    Count = 0;
    if (Capacity > 0)
        Buffer[0] = '\0';
}

void TQMFixedString::AssignInt(std::int32_t value) {
    char scratch[12];
    const std::int32_t n = FormatDecimal(value, scratch);
    TQMFixedString::Clear();
    if (n <= Capacity)
        AppendFitting(scratch, n);
}

void TQMFixedString::CopyTo(char* dest, std::int32_t size) const {
    if (size <= 0 || !dest)
        return;
    const std::int32_t n = std::min(Length(), size);
    std::memcpy(dest, Text(), static_cast<size_t>(n));
    if (n < size)
        std::memset(dest + n, 0, static_cast<size_t>(size - n));
    else
        dest[size] = '\0';
}

// --- TQMString ---

void TQMString::Reserve(long long extra) {
    const long long needed = Count + extra;
    if (needed > MaxCapacity)
        RaiseRange("capacity out of bounds", needed);
    if (needed > Capacity)
        SetCapacity(static_cast<std::int32_t>(needed));
}

void TQMString::SetCapacity(std::int32_t n) {
    if (n < 0)
        RaiseRange("capacity out of bounds", n);
    if (n == 0) {
        FreeBuffer();
        return;
    }
    if (n <= Capacity)
        return;
    // Exact growth, no spare room. The new block is filled before the old
    // one goes, so a failed allocation leaves the text as it was.
    auto grown = std::make_unique<char[]>(static_cast<size_t>(n) + 1);
    if (Buffer)
        std::memcpy(grown.get(), Buffer.get(), static_cast<size_t>(Count));
    grown[Count] = '\0';
    Buffer = std::move(grown);
    Capacity = n;
}

void TQMString::SetLengthBefore(std::int32_t p) {
    if (p - 1LL > Capacity)
        SetCapacity(p - 1);
    TQMFixedString::SetLengthBefore(p);
}

void TQMString::SetLength(std::int32_t n) {
    if (n > Capacity)
        SetCapacity(n);
    TQMFixedString::SetLength(n);
}

void TQMString::Append(const char* text) {
    if (!text)
        return;
    const std::int32_t n = StrLength(text);
    if (Count + static_cast<long long>(n) > Capacity && Aliases(text)) {
        // Growing frees the block that text points into.
        const std::string copy(text, static_cast<size_t>(n));
        Reserve(n);
        AppendFitting(copy.data(), n);
        return;
    }
    Reserve(n);
    AppendFitting(text, n);
}

void TQMString::AppendChar(char c) {
    Reserve(1);
    TQMFixedString::AppendChar(c);
}

void TQMString::AppendInt(std::int32_t value) {
    char scratch[12];
    Reserve(FormatDecimal(value, scratch));
    Append(scratch);
}

void TQMString::AppendHex8(std::uint8_t value) {
    Reserve(2);
    TQMFixedString::AppendHex8(value);
}

// Grows like the other hexadecimal appends, so that no digits are dropped.
void TQMString::AppendHex16(std::uint16_t value) {
    Reserve(4);
    TQMFixedString::AppendHex16(value);
}

void TQMString::AppendHex32(std::uint32_t value) {
    Reserve(8);
    TQMFixedString::AppendHex32(value);
}

void TQMString::AppendDigit(std::uint8_t b) {
    Reserve(1);
    TQMFixedString::AppendDigit(b);
}

void TQMString::AppendTwoDigits(std::uint8_t b) {
    Reserve(2);
    TQMFixedString::AppendTwoDigits(b);
}

void TQMString::Assign(const char* text) {
    if (!text) {
        Clear();
        return;
    }
    // A text inside this buffer is never longer than the capacity, so the
    // growth below cannot free it.
    const std::int32_t n = StrLength(text);
    if (n > Capacity)
        SetCapacity(n);
    TQMFixedString::Assign(text);
}

// Grows to what is actually copied, not to last - first + 1, so that a
// range reaching far beyond the text's end allocates no unused room.
void TQMString::AssignRange(const char* text, std::int32_t first, std::int32_t last) {
    if (!text || static_cast<long long>(last) - first + 1 <= 0) {
        Clear();
        return;
    }
    const std::int32_t n = RangeCount(text, first, last);
    if (n > Capacity)
        SetCapacity(n);
    TQMFixedString::AssignRange(text, first, last);
}

void TQMString::AssignLeft(const char* text, std::int32_t count) {
    if (!text || count <= 0) {
        Clear();
        return;
    }
    const std::int32_t n = RangeCount(text, 0, count - 1);
    if (n > Capacity)
        SetCapacity(n);
    TQMFixedString::AssignLeft(text, count);
}

void TQMString::AssignString(const TQMFixedString& other) {
    if (other.Length() == 0) {
        Clear();
        return;
    }
    if (other.Length() > Capacity)
        SetCapacity(other.Length());
    TQMFixedString::Assign(other.Text());
}

void TQMString::AssignStringRange(const TQMFixedString& other, std::int32_t first,
                                  std::int32_t last) {
    if (static_cast<long long>(last) - first + 1 <= 0 || other.Length() == 0) {
        Clear();
        return;
    }
    const std::int32_t n = RangeCount(other.Text(), first, last);
    if (n > Capacity)
        SetCapacity(n);
    TQMFixedString::AssignRange(other.Text(), first, last);
}

void TQMString::Clear() {
    Count = 0;
    if (Capacity > 0 && Buffer)
        Buffer[0] = '\0';
}

void TQMString::AssignInt(std::int32_t value) {
    SetCapacity(11);
    TQMFixedString::AssignInt(value);
}

void TQMString::ReduceToRoot() {
    const char* text = Text();
    if (Count >= 3 && text[1] == ':')
        SetLength(3);
    else if (Count >= 2 && text[0] == '\\' && text[1] == '\\')
        return;
    else
        Clear();
}
