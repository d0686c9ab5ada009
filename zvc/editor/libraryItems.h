#pragma once
// The list items that show templates and library connections: in the library lists of
// the templates and screens panels, in a terminal's template list, and in the menus
// that add a template to a terminal or a connection to a screen.
//
// An item is
//   <li class="C" id="I" EXTRA file="NAME" draggable="true"><img src="PICTURE"><div
//   class="policontext"> <label>SHOWN</label><p>key=value</p>... </div></li>
// (one line in the output) with up to three options shown and " ... " after the third.
// Texts are UTF-8 with &, <, > and " written as entities. Pure functions; user-interface
// thread because of the specification calls.

#include "common/configFile.h"
#include "common/configLibrary.h"

#include <string>
#include <string_view>

namespace zv {

// `text` with &, <, > and " as entities.
std::string htmlEscape(std::string_view text);

// The generic item. `extraAttributes` is inserted as it is (with a blank before it when
// not empty).
std::string libraryItemHtml(std::string_view file, std::u16string_view label,
                            const optionList& options, std::string_view cls, std::string_view id,
                            std::string_view picture, std::string_view extraAttributes);

// Where a template item is shown.
enum class templateItemUse {
  library,   // the library list: class "template", id "sourcetemplate"
  terminal,  // a terminal's template list: class "template", id "template"
};

// A template item. Options that do not pass validateOptions against `spec` add
// "error_curr" (library) or "error_ver" (terminal) to the class and the attribute titleid.
std::string templateItemHtml(const GUITemplatesFile& entry, templateItemUse use,
                             const versionSpec* spec);
// The all-terminals template in the library list ("all_template all_zvc"; when it fails:
// "template all_zvc error_curr" with title_id).
std::string allTerminalsItemHtml(const GUITemplatesFile& entry, const versionSpec* spec);
// A library connection in a monitor's library list, labelled with its display name;
// "error_curr" when it fails against `spec`.
std::string connectionItemHtml(const GUIConnectionsFile& entry, monitor which,
                               const versionSpec* spec);

// The library list of the templates panel: the all-terminals template, then every
// template in library order.
std::string templateLibraryHtml(const configLibraries& libraries, const versionSpec* spec);
// The connection library list of a monitor, in library order.
std::string connectionLibraryHtml(const configLibraries& libraries, monitor which,
                                  const versionSpec* spec);

// The items of "menu#add_template2terminal": id "menuTmplt", file and text the name.
std::string templateMenuHtml(const configLibraries& libraries);
// The items of "menu#add_connection2screen" ("menu#M2_add_connection2screen"): id
// "menuConn" ("M2_menuConn"), file the name, text the display name.
std::string connectionMenuHtml(const configLibraries& libraries, monitor which);

}  // namespace zv
