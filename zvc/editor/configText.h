#pragma once
// The text panel's check of a configuration text: would it load, with the terminal's
// specification, if it were written as the terminal's file, and does it fit that
// specification. The check reads the exact bytes a save writes, so a text that passes
// is a text that loads.
//
// The text goes through a private temporary directory (mode 0700) that is removed
// afterwards. User-interface thread only (specifications are asked).

#include "common/GUIConfigFile.h"

#include <string>
#include <string_view>

namespace zv {

constexpr const char* brokenTextMessage =
    "Конфигурационный файл некорректен. Если вы не знаете что делать, сотрите весь текст и нажмите "
    "Cохранить.";
constexpr const char* incompatibleTextMessage =
    "Конфигурационный файл несовместим с указанной версией Zelvar.";
constexpr const char* textCheckedMessage = "Конфигурационный файл успешно проверен.";

struct textCheck {
  bool loads = false;       // the text loads as a configuration
  std::u16string reason;    // why it does not
  bool compatible = false;  // it loads and validateConfiguration finds nothing
  bool written = false;     // false: the temporary copy could not be written
};

// The bytes of the text as a configuration file: FF FE and the code units in UTF-16LE.
std::string configTextBytes(std::u16string_view text);

// Checks the text against the libraries and the specification (none: free rows).
textCheck checkConfigText(std::u16string_view text, const configLibraries& libraries,
                          const versionSpec* spec);

}  // namespace zv
