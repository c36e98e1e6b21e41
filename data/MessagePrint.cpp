#include "data/MessagePrint.h"

namespace {
MessagePrinter& Printer() {
  static MessagePrinter fnPrint;
  return fnPrint;
}
}  // namespace

void SetMessagePrinter(MessagePrinter fnPrint) { Printer() = std::move(fnPrint); }

bool PrintMessageText(const std::string& sText) {
  if (!Printer()) return false;
  Printer()(sText);
  return true;
}
