#pragma once

#include <cstdint>
#include <memory>
#include <string>

// Zero-terminated 8-bit text buffer with an explicit length. Every operation
// stays within the capacity that was set: appends of characters, digits and
// numbers that do not fit do nothing, assignments and text appends keep what
// fits. The byte at index Capacity is always zero, and every operation that
// sets the text writes a zero byte after its last character.
//
// Arguments outside an operation's contract (a negative capacity or length, a
// length beyond the capacity of a fixed buffer) raise Exception rather than
// write outside the block.
class TQMFixedString {
public:
    TQMFixedString();
    virtual ~TQMFixedString();
    TQMFixedString(const TQMFixedString&) = delete;
    TQMFixedString& operator=(const TQMFixedString&) = delete;

    virtual void InitFields();
    // Reallocates without keeping the text; 0 frees the block.
    virtual void SetCapacity(std::int32_t n);
    // Count := p - 1 (p is a 1-based position).
    virtual void SetLengthBefore(std::int32_t p);
    // Count := index of the first zero byte.
    virtual void RecalcLength();
    virtual void SetLength(std::int32_t n);
    // text may be null (nothing happens).
    virtual void Append(const char* text);
    virtual void AppendString(const TQMFixedString& other);
    virtual void AppendChar(char c);
    virtual void AppendInt(std::int32_t value);
    virtual void AppendHex8(std::uint8_t value);
    virtual void AppendHex16(std::uint16_t value);
    virtual void AppendHex32(std::uint32_t value);
    // The digit of b mod 10.
    virtual void AppendDigit(std::uint8_t b);
    // Tens and units digit of b: 7 gives "07", 123 gives "23".
    virtual void AppendTwoDigits(std::uint8_t b);
    // A carriage return, no line feed.
    virtual void AppendCR();
    virtual void Assign(const char* text);
    // text[first..last], 0-based and inclusive; stops at the text's end.
    virtual void AssignRange(const char* text, std::int32_t first, std::int32_t last);
    virtual void AssignLeft(const char* text, std::int32_t count);
    virtual void AssignString(const TQMFixedString& other);
    virtual void AssignStringRange(const TQMFixedString& other, std::int32_t first,
                                   std::int32_t last);
    // Empties the text and keeps the block.
    virtual void Clear();

    // Run-time class name, for the messages of failed checks.
    virtual const char* ClassName() const { return "TQMFixedString"; }

    void FreeBuffer();
    std::int32_t Length() const { return Buffer ? Count : 0; }
    std::int32_t GetCapacity() const { return Capacity; }
    // The text; "" without a block.
    const char* Text() const { return Buffer ? Buffer.get() : ""; }
    std::string ToString() const { return std::string(Text(), static_cast<size_t>(Length())); }

    // Decimal text at the start of the buffer; left empty when it does not fit.
    void AssignInt(std::int32_t value);
    // Writes min(Count, size) characters to dest (room for size + 1 bytes),
    // then zero bytes through index size - 1, or one zero byte at index size
    // when the text fills all size places. Nothing when size <= 0.
    void CopyTo(char* dest, std::int32_t size) const;

    // Length of a zero-terminated text; 0 for null.
    static std::int32_t StrLength(const char* text);

protected:
    // Decimal form of value into scratch (zero-terminated); returns its length.
    static std::int32_t FormatDecimal(std::int32_t value, char (&scratch)[12]);
    [[noreturn]] void RaiseRange(const char* what, long long value) const;
    // True when text points into this object's own block.
    bool Aliases(const char* text) const;
    // Appends n characters that are known to fit.
    void AppendFitting(const char* text, std::int32_t n);
    // Replaces the text by n characters that are known to fit.
    void ReplaceFitting(const char* text, std::int32_t n);

    std::int32_t Count = 0;
    std::int32_t Capacity = 0;
    std::unique_ptr<char[]> Buffer;
};

// A text buffer that grows to exactly the size an operation needs. A buffer
// never shrinks; callers that build a text piece by piece set a capacity
// first.
class TQMString : public TQMFixedString {
public:
    // Grows only, keeping the text; 0 frees the block.
    void SetCapacity(std::int32_t n) override;
    void SetLengthBefore(std::int32_t p) override;
    void SetLength(std::int32_t n) override;
    void Append(const char* text) override;
    void AppendChar(char c) override;
    void AppendInt(std::int32_t value) override;
    void AppendHex8(std::uint8_t value) override;
    void AppendHex16(std::uint16_t value) override;
    void AppendHex32(std::uint32_t value) override;
    void AppendDigit(std::uint8_t b) override;
    void AppendTwoDigits(std::uint8_t b) override;
    void Assign(const char* text) override;
    void AssignRange(const char* text, std::int32_t first, std::int32_t last) override;
    void AssignLeft(const char* text, std::int32_t count) override;
    void AssignString(const TQMFixedString& other) override;
    void AssignStringRange(const TQMFixedString& other, std::int32_t first,
                           std::int32_t last) override;
    void Clear() override;

    const char* ClassName() const override { return "TQMString"; }

    // Grows to 11 characters first, so every 32-bit value fits.
    void AssignInt(std::int32_t value);

    // Reduces a directory path to its root: "c:\windows" becomes "c:\", a
    // path that begins with two backslashes stays whole, anything else
    // becomes empty.
    void ReduceToRoot();

private:
    // Grows so that n more characters fit after the text.
    void Reserve(long long extra);
};
