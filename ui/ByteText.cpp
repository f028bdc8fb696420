#include "ui/ByteText.h"

#include <QFile>

#include <filesystem>
#include <system_error>

namespace ui {

namespace {

constexpr char16_t EscapeBase = 0xDC00; // escape of byte b: EscapeBase + b, b >= 0x80

bool IsContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// Length of the valid UTF-8 sequence at text[i] and its code point; 0 when
// the bytes there are no valid sequence (overlong forms, surrogates and
// code points above U+10FFFF are not).
std::size_t ValidSequence(std::string_view text, std::size_t i, char32_t& code) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    char32_t min = 0;
    if (lead < 0x80) {
        code = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, code = lead & 0x1F, min = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, code = lead & 0x0F, min = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, code = lead & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (text.size() - i < length)
        return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if (!IsContinuation(byte(k)))
            return 0;
        code = (code << 6) | (byte(k) & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

void AppendUtf8(std::string& out, char32_t code) {
    const auto put = [&out](char32_t c) { out.push_back(static_cast<char>(c)); };
    if (code < 0x80) {
        put(code);
    } else if (code < 0x800) {
        put(0xC0 | (code >> 6));
        put(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        put(0xE0 | (code >> 12));
        put(0x80 | ((code >> 6) & 0x3F));
        put(0x80 | (code & 0x3F));
    } else {
        put(0xF0 | (code >> 18));
        put(0x80 | ((code >> 12) & 0x3F));
        put(0x80 | ((code >> 6) & 0x3F));
        put(0x80 | (code & 0x3F));
    }
}

QString Decode(std::string_view bytes, bool escapesShownAsReplacement) {
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    for (std::size_t i = 0; i < bytes.size();) {
        char32_t code = 0;
        if (const std::size_t length = ValidSequence(bytes, i, code)) {
            if (code < 0x10000) {
                text.append(QChar(static_cast<char16_t>(code)));
            } else {
                text.append(QChar(QChar::highSurrogate(code)));
                text.append(QChar(QChar::lowSurrogate(code)));
            }
            i += length;
        } else {
            // One byte at a time: the next byte may start a valid sequence.
            const auto b = static_cast<unsigned char>(bytes[i]);
            text.append(escapesShownAsReplacement ? QChar(QChar::ReplacementCharacter)
                                                  : QChar(static_cast<char16_t>(EscapeBase + b)));
            ++i;
        }
    }
    return text;
}

bool Present(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::exists(std::filesystem::symlink_status(path, error));
}

// The name as a user may know it: each byte that is no UTF-8 read as
// Latin-1, the code set such names mostly come from.
QString Latin1Reading(const std::string& name) {
    QString text = ToQString(name);
    for (QChar& c : text)
        if (c.unicode() >= EscapeBase + 0x80 && c.unicode() <= EscapeBase + 0xFF)
            c = QChar(static_cast<char16_t>(c.unicode() - EscapeBase));
    return text;
}

// The one entry of a folder whose name is shown as given: as Qt decodes it,
// with one U+FFFD per byte that is no UTF-8, or with those bytes read as
// Latin-1. Empty when there is none or more than one.
std::string EntryShownAs(const std::string& folder, const QString& shown) {
    std::error_code error;
    std::filesystem::directory_iterator it(folder, error);
    std::string found;
    for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        const std::string name = it->path().filename().native();
        if (QFile::decodeName(QByteArray(name.data(), static_cast<qsizetype>(name.size()))) !=
                shown &&
            ToDisplayText(name) != shown && Latin1Reading(name) != shown)
            continue;
        if (!found.empty())
            return {};
        found = name;
    }
    return error ? std::string() : found;
}

} // namespace

QString ToQString(std::string_view bytes) {
    return Decode(bytes, false);
}

QString ToDisplayText(std::string_view bytes) {
    return Decode(bytes, true);
}

std::string ToStdString(const QString& text) {
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            AppendUtf8(bytes, QChar::surrogateToUcs4(c, text[i + 1].unicode()));
            ++i;
        } else if (c >= EscapeBase + 0x80 && c <= EscapeBase + 0xFF) {
            bytes.push_back(static_cast<char>(c - EscapeBase));
        } else if (QChar::isSurrogate(c)) {
            AppendUtf8(bytes, QChar::ReplacementCharacter);
        } else {
            AppendUtf8(bytes, c);
        }
    }
    return bytes;
}

std::string ChosenPath(const QString& path) {
    const std::string plain = ToStdString(path);
    if (plain.empty() || Present(plain))
        return plain;
    // Walk down from the root, replacing each missing component by the one
    // entry shown under that name.
    const QStringList parts = path.split(QLatin1Char('/'));
    std::string resolved; // without a trailing '/'
    for (qsizetype k = 0; k < parts.size(); ++k) {
        const std::string prefix = k == 0 ? std::string() : resolved + '/';
        const std::string part = ToStdString(parts[k]);
        if (part.empty() || Present(prefix + part)) {
            resolved = prefix + part;
            continue;
        }
        const std::string folder = k == 0 ? "." : resolved.empty() ? "/" : resolved;
        const std::string entry = EntryShownAs(folder, parts[k]);
        if (entry.empty())
            return plain;
        resolved = prefix + entry;
    }
    return resolved;
}

QString DialogPath(const std::string& bytes) {
    return QFile::decodeName(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

} // namespace ui
