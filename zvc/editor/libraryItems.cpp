#include "zvc/editor/libraryItems.h"

#include "htmlview/parser.h"
#include "platform/textConv.h"

namespace zv {
namespace {

constexpr std::size_t shownOptions = 3;

bool passes(const optionList& options, const versionSpec* spec) {
  optionProblems problems;
  return options.validateOptions(spec, problems);
}

}  // namespace

std::string htmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  appendEscaped(out, text, true);
  return out;
}

std::string libraryItemHtml(std::string_view file, std::u16string_view label,
                            const optionList& options, std::string_view cls, std::string_view id,
                            std::string_view picture, std::string_view extraAttributes) {
  std::string html = "<li class=\"";
  html += cls;
  html += "\" id=\"";
  html += id;
  html += '"';
  if (!extraAttributes.empty()) {
    html += ' ';
    html += extraAttributes;
  }
  // Every item can be dragged: onto a terminal's list, a screen or the trash.
  html += " file=\"" + htmlEscape(file) + "\" draggable=\"true\"><img src=\"";
  html += picture;
  html += "\"><div class=\"policontext\"><label>" + htmlEscape(toUtf8(label)) + "</label>";
  std::size_t shown = 0;
  for (const configOption& option : options) {
    if (shown == shownOptions) break;
    html += "<p>" + htmlEscape(option.key) + "=" + htmlEscape(toUtf8(option.value)) + "</p>";
    if (++shown == shownOptions) html += " ... ";
  }
  html += "</div></li>";
  return html;
}

std::string templateItemHtml(const GUITemplatesFile& entry, templateItemUse use,
                             const versionSpec* spec) {
  const bool library = use == templateItemUse::library;
  std::string cls = "template";
  std::string extra;
  if (!passes(entry, spec)) {
    const char* mark = library ? "error_curr" : "error_ver";
    cls += std::string(" ") + mark;
    extra = std::string("titleid=\"") + mark + "\"";
  }
  return libraryItemHtml(entry.name(), widenAscii(entry.name()), entry, cls,
                         library ? "sourcetemplate" : "template", "template_l.png", extra);
}

std::string allTerminalsItemHtml(const GUITemplatesFile& entry, const versionSpec* spec) {
  if (passes(entry, spec))
    return libraryItemHtml(entry.name(), u"all", entry, "all_template all_zvc", "sourcetemplate",
                           "template_l.png", "");
  return libraryItemHtml(entry.name(), u"all", entry, "template all_zvc error_curr",
                         "sourcetemplate", "template_l.png", "title_id=\"error_curr\"");
}

std::string connectionItemHtml(const GUIConnectionsFile& entry, monitor which,
                               const versionSpec* spec) {
  std::string cls = which == monitor::second ? "M2_connection" : "connection";
  const std::string id = cls;
  std::string extra;
  if (!passes(entry, spec)) {
    cls += " error_curr";
    extra = "titleid=\"error_curr\"";
  }
  return libraryItemHtml(entry.name(), entry.displayName(), entry, cls, id, "connection.png",
                         extra);
}

std::string templateLibraryHtml(const configLibraries& libraries, const versionSpec* spec) {
  std::string html = allTerminalsItemHtml(*libraries.allTerminals(), spec);
  for (const templatePtr& entry : libraries.templates())
    html += templateItemHtml(*entry, templateItemUse::library, spec);
  return html;
}

std::string connectionLibraryHtml(const configLibraries& libraries, monitor which,
                                  const versionSpec* spec) {
  std::string html;
  for (const connectionPtr& entry : libraries.connections())
    html += connectionItemHtml(*entry, which, spec);
  return html;
}

std::string templateMenuHtml(const configLibraries& libraries) {
  std::string html;
  for (const templatePtr& entry : libraries.templates()) {
    const std::string name = htmlEscape(entry->name());
    html += "<li id=\"menuTmplt\" file=\"" + name + "\">" + name + "</li>";
  }
  return html;
}

std::string connectionMenuHtml(const configLibraries& libraries, monitor which) {
  const char* id = which == monitor::second ? "M2_menuConn" : "menuConn";
  std::string html;
  for (const connectionPtr& entry : libraries.connections())
    html += std::string("<li id=\"") + id + "\" file=\"" + htmlEscape(entry->name()) + "\">" +
            htmlEscape(toUtf8(entry->displayName())) + "</li>";
  return html;
}

}  // namespace zv
