#pragma once
// The video settings panel of version 6.2.63: its HTML, reading its controls and its
// result area.
//
// The panel edits five general options and the workplace type:
//   bpp          colour depth (select vp_bpp)
//   video        "auto", "WxH" or "WxH@R" from the resolution and refresh lists
//   display      the display line of the first monitor, a text field (vp_display)
//   M2_display   composed from the second monitor's resolution, refresh and connector
//                lists; the parts the panel does not edit (noddc, modeline) are kept in
//                the attribute "keep" of div#vp_m2_params and written back unchanged
//   M2_position  where the second monitor stands (vp_m2_position)
//   type         0 no second monitor, 1 the first monitor's desktop extends onto it,
//                2 the second monitor has screens of its own (vp_m2_type)
// The result area (div#results) shows what the panel would save: div#type_result with
// the attribute "type" and i#<key>_result for each option. Calls come from the
// console's user-interface thread.

#include "specs/6.2.63/reportedModes.h"
#include "specs/kit/document.h"

#include <optional>
#include <string>
#include <vector>

namespace zv::spec::v6263 {

struct videoSettings {
  std::u16string bpp;
  std::u16string video;
  std::u16string display;
  std::u16string m2display;
  std::u16string m2position;
  int workplaceType = 0;
};

// The panel for the values in effect. The result area shows the values exactly as
// given, so that an untouched panel reports no change.
std::u16string panelHtml(const videoSettings& values);

// The values the controls below `params` hold now; nothing when a control is missing.
std::optional<videoSettings> readPanel(const document& page, zvElement params);
// True when the options accept every value and the type is 0, 1 or 2.
bool acceptable(const videoSettings& values);
// Writes the values into the result area of the page.
bool showResults(const document& page, const videoSettings& values);

// Refills the refresh list of a monitor (1 or 2) with the rates reported for the
// resolution chosen now. The chosen rate stays when it is still offered or when
// `keepChosen`; otherwise the list falls back to "auto".
bool refillRefreshRates(const document& page, zvElement params, int monitor, bool keepChosen);
// Puts the reported modes into both monitors' lists and the hint line; false when the
// answer holds no mode (the hint then says so).
bool showReportedModes(const document& page, zvElement panel, std::string_view answer);
// Shows the second monitor's settings as usable or not for the chosen type.
bool showSecondMonitorState(const document& page, int workplaceType);

}  // namespace zv::spec::v6263
