#pragma once
// Decoding of received mail: header items, encoded header words (RFC 2047),
// transfer encodings (quoted-printable, base64), charsets (iconv) and
// multipart bodies. Decoded text is UTF-8.

#include <string>
#include <string_view>

// The text before the first empty line, and the text after it (empty when
// there is none).
std::string_view MailHeaderOf(std::string_view sMessage);
std::string_view MailBodyOf(std::string_view sMessage);

// The n-th (from 1) header item of that name, matched without regard to
// case: the text after the colon continued over folded lines, line breaks
// removed, tabs as spaces, both ends trimmed. Empty when not found.
std::string HeaderItem(std::string_view sHeader, std::string_view sName, int n = 1);

// A parameter of a structured header value ("text/plain; charset=utf-8"),
// unquoted; empty when absent.
std::string HeaderParameter(std::string_view sValue, std::string_view sName);

// A header item's text for display: encoded words decoded, every charset
// converted, control characters turned into spaces.
std::string DecodeHeaderText(std::string_view sText);

std::string DecodeQuotedPrintable(std::string_view sText);
std::string DecodeBase64(std::string_view sText);

// Bytes in a charset as UTF-8. Unknown or missing charsets read valid UTF-8
// as UTF-8 and anything else as Windows-1252; bytes that do not convert
// become U+FFFD.
std::string ConvertToUtf8(std::string_view sBytes, std::string_view sCharset);

// The readable content of a message: its text parts and its HTML parts,
// each decoded and converted; attachments are left out.
struct stMailText {
  std::string sText;
  std::string sHtml;
};
stMailText DecodeMailText(std::string_view sMessage);
