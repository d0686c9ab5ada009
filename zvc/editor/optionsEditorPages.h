#pragma once
// The options editor's texts and pages, free of any window: the title, the grid page
// with its editor panel, the free rows, the save question, the free rows' key rule and
// the display value composed from the screen options.
//
// Pure functions; user-interface thread where they ask a specification.

#include "common/GUIConfigFile.h"
#include "zvc/editor/optionsEditor.h"

#include <string>
#include <string_view>
#include <vector>

namespace zv {

constexpr const char* optionsGridId = "terminal_options";
constexpr const char* editorPanelId = "option_details";
constexpr const char* editorBlockId = "option_editor";
constexpr const char* manualId = "option_manual";
constexpr const char* resultValueId = "resultValue";
constexpr const char* resultSourceId = "resultSource";
constexpr const char* deleteButtonId = "options_delete";
constexpr const char* applyButtonId = "options_apply";
constexpr const char* restoreButtonId = "options_restore";
constexpr const char* cancelButtonId = "options_cancel";
constexpr const char* errorClass = "errorValue";
// The new row's key input is shorter than the rows' own.
constexpr std::size_t maxNewFreeKey = 64;

// "Параметры " and the title; "Параметры конфигурационного файла " (general scope) or
// "Корректирующие параметры " (a connection) when a terminal's configuration is edited.
std::string optionsEditorTitle(const optionsEditorTarget& target);

// The grid's options for a list kind, sorted by name as the grid sorts its rows.
std::vector<const zvOptionSpecRecord*> listedOptions(const versionSpec& spec, std::uint32_t kind);

// The body of the page with a specification: the grid (rows of `listed`, the ones set in
// `list` marked), the empty editor and manual panels, the buttons and `versionSelect`.
std::string gridPageBody(const std::vector<const zvOptionSpecRecord*>& listed,
                         const optionList& list, bool readOnly, bool listChanged,
                         const std::string& versionSelect);

// The editor panel of an option: `editorHtml` (what the processor rendered), the line
// "Значение: key=value" and, when `source` is given, "Источник: ...".
std::string editorPanelHtml(std::string_view key, std::u16string_view value,
                            const std::string& editorHtml, const std::string* source);

// The body of the free-text page: one row per entry and the new row.
std::string freePageBody(const optionList& list, bool readOnly, bool listChanged,
                         const std::string& versionSelect);

// Whether a free row may carry the key: letters, digits and '_', 2 to `limit`
// characters, no layout word ("connection", "template", "next"...).
bool freeKeyAccepted(std::string_view key, std::size_t limit);

// "resolution" ",", "refresh" (" Hz" unless "auto") ",", "noddc," when on, "connector"
// ",", "modeline" in double quotes; each only when the list holds it; no final ",".
std::u16string composeDisplayParameters(const optionList& list);

// The save question: the terminals the file reaches, when there are any, then
// "Сохранить изменения?".
std::string saveQuestion(std::string_view fileName, const std::vector<std::string>& macs);

}  // namespace zv
