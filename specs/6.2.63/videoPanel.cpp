#include "specs/6.2.63/videoPanel.h"

#include "specs/6.2.63/options.h"
#include "specs/kit/editors.h"
#include "specs/kit/formats.h"
#include "specs/kit/text.h"

#include <algorithm>
#include <utility>

namespace zv::spec::v6263 {
namespace {

// A monitor's lists: ids of its resolution and refresh selects.
struct monitorLists {
  const char* resolution;
  const char* refresh;
};
constexpr monitorLists firstMonitor{"#vp_resolution", "#vp_refresh"};
constexpr monitorLists secondMonitor{"#vp_m2_resolution", "#vp_m2_refresh"};

const std::vector<choiceItem>& positionChoices() {
  static const std::vector<choiceItem> items{{u"right", u"Справа от основного"},
                                             {u"left", u"Слева от основного"},
                                             {u"above", u"Над основным"},
                                             {u"below", u"Под основным"}};
  return items;
}

const std::vector<choiceItem>& typeChoices() {
  static const std::vector<choiceItem> items{{u"0", u"Не используется"},
                                             {u"1", u"Продолжает рабочий стол первого монитора"},
                                             {u"2", u"Показывает свои экраны"}};
  return items;
}

std::u16string typeText(int type) {
  switch (type) {
    case 0:
      return u"Второй монитор не используется";
    case 1:
      return u"Второй монитор продолжает рабочий стол первого";
    case 2:
      return u"На втором мониторе свои экраны";
    default:
      return u"Неизвестный тип рабочего места";
  }
}

bool isAuto(std::u16string_view value) {
  return equalsNoCase(value, u"auto");
}

std::u16string optionsHtml(const std::vector<choiceItem>& items, std::u16string_view current) {
  std::u16string html;
  bool listed = false;
  for (const choiceItem& item : items) listed = listed || equalsNoCase(item.value, current);
  if (!listed)
    html += u"<option value=\"" + escapeHtml(current) + u"\" class=\"unlisted\" selected>" +
            escapeHtml(current) + u"</option>";
  for (const choiceItem& item : items) {
    html += u"<option value=\"" + escapeHtml(item.value) + u"\"";
    if (listed && equalsNoCase(item.value, current)) html += u" selected";
    html += u">" + escapeHtml(item.caption) + u"</option>";
  }
  return html;
}

std::u16string selectHtml(std::u16string_view id, const std::vector<choiceItem>& items,
                          std::u16string_view current) {
  return u"<select id=\"" + std::u16string(id) + u"\" class=\"video_select\" handleEvent>" +
         optionsHtml(items, current) + u"</select>";
}

std::u16string row(std::u16string_view label, std::u16string_view control) {
  return u"<tr><td class=\"video_label\">" + std::u16string(label) + u"</td><td>" +
         std::u16string(control) + u"</td></tr>";
}

// The resolutions to offer: the reported ones when the terminal answered, else the usual.
std::vector<choiceItem> resolutionItems(const std::vector<reportedMode>& modes) {
  if (modes.empty()) return resolutionChoices();
  std::vector<std::pair<videoMode, bool>> sizes;  // resolution, some mode of it preferred
  for (const reportedMode& reported : modes) {
    videoMode size{reported.mode.width, reported.mode.height, 0};
    auto same = std::find_if(sizes.begin(), sizes.end(),
                             [&](const auto& entry) { return entry.first == size; });
    if (same == sizes.end())
      sizes.emplace_back(size, reported.preferred);
    else
      same->second = same->second || reported.preferred;
  }
  std::vector<choiceItem> items{{u"auto", u"Автоматически"}};
  for (const auto& [size, preferred] : sizes)
    items.push_back(
        {formatResolution(size), modeCaption(size) + (preferred ? u" — рекомендуемое" : u"")});
  return items;
}

// The refresh rates to offer at a resolution: those reported for it, else the usual.
std::vector<choiceItem> refreshItems(const std::vector<reportedMode>& modes,
                                     std::u16string_view resolution) {
  std::optional<videoMode> chosen = parseResolution(resolution);
  std::vector<choiceItem> items{{u"auto", u"Автоматически"}};
  if (chosen) {
    for (const reportedMode& reported : modes)
      if (reported.mode.width == chosen->width && reported.mode.height == chosen->height &&
          reported.mode.refresh > 0)
        items.push_back({decimal(reported.mode.refresh), decimal(reported.mode.refresh) + u" Гц"});
  }
  return items.size() > 1 ? items : refreshChoices();
}

std::vector<reportedMode> modesKept(const document& page, zvElement params) {
  std::optional<std::u16string> kept = page.attribute(params, "modes");
  if (!kept) return {};
  std::optional<std::string> ascii = narrow(*kept);
  return ascii ? parseReportedModes(*ascii) : std::vector<reportedMode>{};
}

std::optional<std::u16string> valueOf(const document& page, zvElement root, const char* id) {
  return page.value(page.find(root, id));
}

std::u16string composeVideo(std::u16string_view resolution, std::u16string_view refresh) {
  if (isAuto(resolution)) return u"auto";
  std::optional<videoMode> mode = parseResolution(resolution);
  std::u16string text = mode ? formatResolution(*mode) : std::u16string(resolution);
  if (!isAuto(refresh)) text += u"@" + std::u16string(refresh);
  return text;
}

bool accepted(const char* key, std::u16string_view value) {
  const zvOptionSpecRecord* record = table().find(key);
  return record && record->processor->validate(record, asText(value));
}

}  // namespace

std::u16string panelHtml(const videoSettings& values) {
  // First monitor: "video" gives the resolution and rate; an unreadable value shows as
  // automatic.
  std::u16string resolution = u"auto";
  std::u16string refresh = u"auto";
  if (std::optional<videoMode> mode = parseVideoMode(values.video)) {
    resolution = formatResolution(*mode);
    if (mode->refresh > 0) refresh = decimal(mode->refresh);
  }
  // Second monitor: the lists show what they can; noddc and the modeline are kept.
  displayLine second = parseDisplayLine(values.m2display).value_or(displayLine{});
  displayLine kept{std::nullopt, std::nullopt, second.noddc, std::nullopt, second.modeline};
  std::u16string m2resolution = second.resolution.value_or(u"auto");
  std::u16string m2refresh = second.refresh.value_or(u"auto");
  std::u16string m2connector = second.connector.value_or(u"auto");
  if (std::optional<videoMode> mode = parseResolution(m2resolution))
    m2resolution = formatResolution(*mode);
  std::u16string position = values.m2position;
  for (const choiceItem& item : positionChoices())
    if (equalsNoCase(item.value, position)) position = item.value;
  int type = values.workplaceType >= 0 && values.workplaceType <= 2 ? values.workplaceType : 0;

  std::u16string html = u"<div id=\"div_video_params\" class=\"video_params\">";
  html +=
      u"<fieldset class=\"video_monitor\"><legend>Основной монитор</legend>"
      u"<table class=\"video_table\">";
  html += row(u"Глубина цвета:", selectHtml(u"vp_bpp", colourDepthChoices(), values.bpp));
  html += row(u"Разрешение:", selectHtml(u"vp_resolution", resolutionChoices(), resolution));
  html += row(u"Частота обновления:", selectHtml(u"vp_refresh", refreshChoices(), refresh));
  html +=
      row(u"Строка display:",
          u"<input type=\"text\" id=\"vp_display\" class=\"video_field" +
              std::u16string(parseDisplayLine(values.display) ? u"" : u" errorValue") +
              u"\" maxlength=\"1024\" value=\"" + escapeHtml(values.display) + u"\" handleEvent>");
  html += u"</table></fieldset>";

  html += u"<fieldset class=\"video_monitor\"><legend>Второй монитор</legend><p>" +
          selectHtml(u"vp_m2_type", typeChoices(), decimal(type)) + u"</p>";
  html += u"<div id=\"vp_m2_params\" keep=\"" + escapeHtml(composeDisplayLine(kept)) + u"\"";
  if (type == 0) html += u" disabled";
  html += u"><table class=\"video_table\">";
  html += row(u"Расположение:", selectHtml(u"vp_m2_position", positionChoices(), position));
  html += row(u"Разрешение:", selectHtml(u"vp_m2_resolution", resolutionChoices(), m2resolution));
  html += row(u"Частота обновления:", selectHtml(u"vp_m2_refresh", refreshChoices(), m2refresh));
  html += row(u"Разъём:", selectHtml(u"vp_m2_connector", connectorChoices(), m2connector));
  html += u"</table></div></fieldset>";
  html +=
      u"<div id=\"vp_modes_info\" class=\"video_hint\">Чтобы выбрать из режимов, которые "
      u"поддерживает монитор терминала, нажмите «Запросить режимы у терминала».</div>";
  html += u"</div>";

  html +=
      u"<div class=\"video_buttons\">"
      u"<button id=\"VS_AskTerminal\" class=\"command findbutton\">Запросить режимы у "
      u"терминала</button>"
      u"<button id=\"save_video\" class=\"command savebutton\">Сохранить</button>"
      u"<button id=\"restore_video\" class=\"command\">Восстановить</button>"
      u"<button id=\"save2template_video\" class=\"command addbutton\">Сохранить как "
      u"шаблон</button></div>";

  html += u"<div id=\"results\" class=\"video_results\"><div id=\"type_result\" type=\"" +
          decimal(values.workplaceType) + u"\">" + typeText(values.workplaceType) + u"</div>";
  const std::pair<const char16_t*, const std::u16string*> results[] = {
      {u"bpp", &values.bpp},
      {u"video", &values.video},
      {u"display", &values.display},
      {u"M2_display", &values.m2display},
      {u"M2_position", &values.m2position}};
  for (const auto& [key, value] : results)
    html += u"<p>" + std::u16string(key) + u" = <i id=\"" + key + u"_result\">" +
            escapeHtml(*value) + u"</i></p>";
  html += u"</div>";
  return html;
}

std::optional<videoSettings> readPanel(const document& page, zvElement params) {
  if (!params) return std::nullopt;
  std::optional<std::u16string> bpp = valueOf(page, params, "#vp_bpp");
  std::optional<std::u16string> resolution = valueOf(page, params, "#vp_resolution");
  std::optional<std::u16string> refresh = valueOf(page, params, "#vp_refresh");
  std::optional<std::u16string> display = valueOf(page, params, "#vp_display");
  std::optional<std::u16string> type = valueOf(page, params, "#vp_m2_type");
  std::optional<std::u16string> position = valueOf(page, params, "#vp_m2_position");
  std::optional<std::u16string> m2resolution = valueOf(page, params, "#vp_m2_resolution");
  std::optional<std::u16string> m2refresh = valueOf(page, params, "#vp_m2_refresh");
  std::optional<std::u16string> m2connector = valueOf(page, params, "#vp_m2_connector");
  zvElement m2params = page.find(params, "#vp_m2_params");
  if (!bpp || !resolution || !refresh || !display || !type || !position || !m2resolution ||
      !m2refresh || !m2connector || !m2params)
    return std::nullopt;
  std::optional<long> workplaceType = parseUnsigned(*type);
  if (!workplaceType || *workplaceType > 2) return std::nullopt;

  displayLine second =
      parseDisplayLine(page.attribute(m2params, "keep").value_or(u"")).value_or(displayLine{});
  second.resolution.reset();
  second.refresh.reset();
  second.connector.reset();
  if (!isAuto(*m2resolution)) {
    std::optional<videoMode> mode = parseResolution(*m2resolution);
    second.resolution = mode ? formatResolution(*mode) : *m2resolution;
  }
  if (!isAuto(*m2refresh)) second.refresh = *m2refresh;
  if (!isAuto(*m2connector)) second.connector = *m2connector;

  videoSettings values;
  values.bpp = *bpp;
  values.video = composeVideo(*resolution, *refresh);
  values.display = *display;
  values.m2display = composeDisplayLine(second);
  values.m2position = *position;
  values.workplaceType = int(*workplaceType);
  return values;
}

bool acceptable(const videoSettings& values) {
  return values.workplaceType >= 0 && values.workplaceType <= 2 && accepted("bpp", values.bpp) &&
         accepted("video", values.video) && accepted("display", values.display) &&
         accepted("M2_display", values.m2display) && accepted("M2_position", values.m2position);
}

bool showResults(const document& page, const videoSettings& values) {
  zvElement type = page.find(nullptr, "#type_result");
  bool done = page.setAttribute(type, "type", decimal(values.workplaceType)) &&
              page.setHtml(type, typeText(values.workplaceType));
  const std::pair<const char*, const std::u16string*> results[] = {
      {"#bpp_result", &values.bpp},
      {"#video_result", &values.video},
      {"#display_result", &values.display},
      {"#M2_display_result", &values.m2display},
      {"#M2_position_result", &values.m2position}};
  for (const auto& [id, value] : results)
    done = page.setHtml(page.find(nullptr, id), escapeHtml(*value)) && done;
  return done;
}

bool refillRefreshRates(const document& page, zvElement params, int monitor, bool keepChosen) {
  const monitorLists& lists = monitor == 2 ? secondMonitor : firstMonitor;
  zvElement refresh = page.find(params, lists.refresh);
  std::optional<std::u16string> resolution = valueOf(page, params, lists.resolution);
  std::optional<std::u16string> current = page.value(refresh);
  if (!refresh || !resolution || !current) return false;
  std::vector<choiceItem> items = refreshItems(modesKept(page, params), *resolution);
  bool offered = false;
  for (const choiceItem& item : items) offered = offered || equalsNoCase(item.value, *current);
  return page.setHtml(refresh, optionsHtml(items, offered || keepChosen ? *current : u"auto"));
}

bool showReportedModes(const document& page, zvElement panel, std::string_view answer) {
  zvElement params = page.find(panel, "#div_video_params");
  zvElement info = page.find(panel, "#vp_modes_info");
  if (!params) return false;
  std::vector<reportedMode> modes = parseReportedModes(answer);
  if (modes.empty()) {
    page.setHtml(info, u"Терминал не сообщил ни одного видеорежима.");
    return false;
  }
  page.setAttribute(params, "modes", formatReportedModes(modes));
  std::vector<choiceItem> resolutions = resolutionItems(modes);
  for (const monitorLists* lists : {&firstMonitor, &secondMonitor}) {
    zvElement list = page.find(params, lists->resolution);
    std::optional<std::u16string> current = page.value(list);
    if (!list || !current) return false;
    // The chosen resolution stays chosen even when the terminal did not report it.
    if (!page.setHtml(list, optionsHtml(resolutions, *current))) return false;
  }
  refillRefreshRates(page, params, 1, true);
  refillRefreshRates(page, params, 2, true);

  std::u16string text = u"Терминал сообщил режимов: " + decimal(long(modes.size())) + u".";
  for (const reportedMode& reported : modes)
    if (reported.preferred) {
      text += u" Рекомендуемый: " + modeCaption(reported.mode) + u".";
      break;
    }
  page.setHtml(info, escapeHtml(text));
  return true;
}

bool showSecondMonitorState(const document& page, int workplaceType) {
  zvElement m2params = page.find(nullptr, "#vp_m2_params");
  return workplaceType == 0 ? page.setState(m2params, ZV_STATE_DISABLED, 0)
                            : page.setState(m2params, 0, ZV_STATE_DISABLED);
}

}  // namespace zv::spec::v6263
