#pragma once
// Printing a message to a user from its dialog. The dialog lives in the data
// layer, below the print engine, so the program installs the printer here.

#include <functional>
#include <string>

using MessagePrinter = std::function<void(const std::string& sText)>;
void SetMessagePrinter(MessagePrinter fnPrint);
// Prints the text with the installed printer; false when none is installed.
bool PrintMessageText(const std::string& sText);
