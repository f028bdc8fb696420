#include "ui/ReasonText.h"

#include "ui/ByteText.h"

#include <QRegularExpression>

#include <system_error>

namespace ui {

QString ReasonInWords(const std::string& reason) {
    QString text = ToDisplayText(reason);
    text.replace(u'\r', u' ');
    text = text.simplified();
    static const QRegularExpression number(QStringLiteral("LastError = (\\d+)"));
    const QRegularExpressionMatch match = number.match(text);
    const int code = match.hasMatch() ? match.captured(1).toInt() : 0;
    if (code > 0)
        text.insert(match.capturedEnd(),
                    QStringLiteral(" (") +
                        QString::fromStdString(std::generic_category().message(code)) +
                        QStringLiteral(")"));
    return text;
}

} // namespace ui
