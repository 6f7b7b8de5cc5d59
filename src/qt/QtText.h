#pragma once

#include <QString>
#include <QStringDecoder>
#include <string>

namespace quorle {

// Texts of the logic are bytes: paths come as UTF-8, names from the instrument may hold single
// bytes that are no UTF-8.
inline QString Text(const std::string& bytes) {
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = utf8(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
  if (!utf8.hasError()) return text;
  return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// Name bytes as characters: Latin-1 for the printable ones, "?" where a byte would show as
// nothing or break the line, as `quorle-cli info --names` shows them. The logic keeps the bytes.
inline QString Shown(const std::string& name) {
  QString text;
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    text += (u < 0x20 || (u >= 0x7F && u < 0xA0)) ? QChar('?') : QChar(u);
  }
  return text;
}

}  // namespace quorle
