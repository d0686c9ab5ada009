// The `video` export of version 6.2.63: the four operations of the video settings panel.

#include "specs/6.2.63/videoPanel.h"
#include "specs/kit/formats.h"
#include "specs/kit/optionTable.h"
#include "specs/kit/output.h"
#include "specs/kit/text.h"

namespace zv::spec::v6263 {
namespace {

int fillPanel(zvOutput* out, zvText bpp, zvText video, zvText display, zvText m2display,
              zvText m2position, zvText, int workplaceType) {
  try {
    videoSettings values{fromText(bpp),       fromText(video),      fromText(display),
                         fromText(m2display), fromText(m2position), workplaceType};
    return writeOutput(out, panelHtml(values));
  } catch (...) {
    return 0;
  }
}

int collectPanel(zvOutput outputs[6], int* workplaceType, const zvHost* host, zvElement params) {
  try {
    document page(host);
    if (!outputs || !workplaceType || !page.usable()) return 0;
    std::optional<videoSettings> values = readPanel(page, params);
    if (!values || !acceptable(*values)) return 0;
    const std::u16string* texts[6] = {&values->bpp,       &values->video,      &values->display,
                                      &values->m2display, &values->m2position, nullptr};
    bool written = true;
    for (int i = 0; i < 6; ++i)
      written = writeOutput(&outputs[i], texts[i] ? *texts[i] : u"") && written;
    if (!written) return 0;
    *workplaceType = values->workplaceType;
    return 1;
  } catch (...) {
    return 0;
  }
}

int panelEvent(const zvHost* host, const zvEvent* event) {
  try {
    document page(host);
    if (!page.usable() || !event || !event->target) return 0;
    if (event->kind != ZV_EVENT_VALUE_CHANGED && event->kind != ZV_EVENT_SELECTION_CHANGED)
      return 0;
    static constexpr std::u16string_view controls[] = {
        u"vp_bpp",         u"vp_resolution",    u"vp_refresh",    u"vp_display",     u"vp_m2_type",
        u"vp_m2_position", u"vp_m2_resolution", u"vp_m2_refresh", u"vp_m2_connector"};
    std::u16string id = page.id(event->target);
    bool ours = false;
    for (std::u16string_view control : controls) ours = ours || id == control;
    zvElement params = page.find(nullptr, "#div_video_params");
    if (!ours || !params) return 0;

    if (id == u"vp_resolution") refillRefreshRates(page, params, 1, false);
    if (id == u"vp_m2_resolution") refillRefreshRates(page, params, 2, false);
    std::optional<videoSettings> values = readPanel(page, params);
    if (!values) return 0;
    if (id == u"vp_display")
      page.setAttribute(
          event->target, "class",
          parseDisplayLine(values->display) ? u"video_field" : u"video_field errorValue");
    if (id == u"vp_m2_type") showSecondMonitorState(page, values->workplaceType);
    return showResults(page, *values);
  } catch (...) {
    return 0;
  }
}

int showModes(const zvHost* host, zvElement panel, const char* modes) {
  try {
    document page(host);
    if (!page.usable() || !panel || !modes) return 0;
    return showReportedModes(page, panel, modes);
  } catch (...) {
    return 0;
  }
}

}  // namespace
}  // namespace zv::spec::v6263

extern "C" ZV_SPEC_EXPORT const zvVideoOps video = {
    zv::spec::v6263::fillPanel, zv::spec::v6263::collectPanel, zv::spec::v6263::panelEvent,
    zv::spec::v6263::showModes};
