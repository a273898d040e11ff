// The image registry of UIConfigManager: the table of every interface image (ids, names, files,
// frame layout), preloading into the graphics framework's process-wide bitmap cache scaled by
// the size factor, lookups by name and the release at tear-down.

#include <cstddef>

#include "IGraphics.h"
#include "UIConfigManager.h"

namespace {

struct ImageRow {
  int id;
  const char* name;
  const char* file;
  int frames;
  bool horizontal;
};

struct SkinImageRow {
  const char* name;
  struct {
    int id;
    const char* file;
  } scheme[3];  // yellow, blue, obsidra
  int frames;
  bool horizontal;
};

// 74 rows used with every colour scheme, in registration order.
const ImageRow kCommonImages[] = {
    {102, "MANAGER_BG_ID2", "resources/img/lib-blank-bg.png", 1, true},
    {104, "MAIN_BG_FRAME_ID", "resources/img/main-bg-frame.png", 1, true},
    {123, "BG_ID_INDICATOR_PROTECTOR", "resources/img/Sorvanta-quick-led-protect.png", 1, true},
    {302, "BG_ID_SINGLE_PROTECTOR", "resources/img/Sorvanta-single-led-protect.png", 1, true},
    {303, "BTN_18x18_ID", "resources/img/btn-18x18.png", 1, true},
    {257, "BG_RENAME_ID", "resources/img/newNameBG.png", 1, true},
    {310, "BG_ABOUT_ID", "resources/img/about-Sorvanta.png", 1, true},
    {311, "BTN_EXIT_ABOUT_ID", "resources/img/about-exit.png", 1, true},
    {312, "BTN_SEE_ABOUT_ID", "resources/img/about-trigger.png", 1, true},
    {307, "BG_FX1OVERLAYER", "resources/img/fx1-overlayer.png", 1, true},
    {308, "BG_FX2OVERLAYER", "resources/img/fx2-overlayer.png", 1, true},
    {113, "IKNOBROTATERCONTROL_ID2", "resources/img/knob-Sorvanta-normal.png", 128, false},
    {124, "IKNOBROTATERCONTROL_ID2FC", "resources/img/knob-Sorvanta-normal-fc.png", 128, false},
    {114, "IKNOBROTATERCONTROL_ID49", "resources/img/knob-Sorvanta-normal-49.png", 49, false},
    {125, "IKNOBROTATERCONTROL_ID97", "resources/img/knob-Sorvanta-normal-97.png", 97, false},
    {127, "IKNOBROTATERCONTROL_ID4", "resources/img/knob-Sorvanta-normal-4.png", 4, false},
    {120, "IKNOBROTATERCONTROL_ID5", "resources/img/knob-Sorvanta-normal-5.png", 5, false},
    {126, "IKNOBROTATERCONTROL_ID6", "resources/img/knob-Sorvanta-normal-6.png", 6, false},
    {121, "IKNOBROTATERCONTROL_ID7", "resources/img/knob-Sorvanta-normal-7.png", 7, false},
    {115, "IKNOBROTATERCONTROL_ID9", "resources/img/knob-Sorvanta-normal-9.png", 9, false},
    {116, "IKNOBROTATERCONTROL_ID25", "resources/img/knob-Sorvanta-normal-25.png", 25, false},
    {130, "IKNOBROTATERCONTROL_ID11", "resources/img/knob-Sorvanta-normal-11.png", 11, false},
    {169, "IKNOBROTATERCONTROL_ID3", "resources/img/knob-Sorvanta-small.png", 128, false},
    {309, "BUTTON_ARP_POWER1", "resources/img/arp-on-off-button.png", 2, false},
    {117, "BUTTON_LIB_DISCARD_ID", "resources/img/btn-lib-discard-edit.png", 1, true},
    {119, "BUTTON_LIB_DATATYPE_ID", "resources/img/btn-lib-display-multis.png", 2, false},
    {122, "PROGRESS_INDICATOR_ID", "resources/img/Sorvanta-progress-overlay.png", 1, true},
    {132, "BUTTON_TAB_TOPBAR_ID", "resources/img/main-tab-selector.png", 2, false},
    {133, "BUTTON_TAB_SIDEBAR_ID", "resources/img/main-part-selector.png", 2, true},
    {140, "BUTTON_MIXER_MUTE1_ID", "resources/img/btn-part01.png", 2, false},
    {141, "BUTTON_MIXER_MUTE2_ID", "resources/img/btn-part02.png", 2, false},
    {142, "BUTTON_MIXER_MUTE3_ID", "resources/img/btn-part03.png", 2, false},
    {143, "BUTTON_MIXER_MUTE4_ID", "resources/img/btn-part04.png", 2, false},
    {144, "BUTTON_MIXER_MUTE5_ID", "resources/img/btn-part05.png", 2, false},
    {145, "BUTTON_MIXER_MUTE6_ID", "resources/img/btn-part06.png", 2, false},
    {146, "BUTTON_MIXER_MUTE7_ID", "resources/img/btn-part07.png", 2, false},
    {147, "BUTTON_MIXER_MUTE8_ID", "resources/img/btn-part08.png", 2, false},
    {148, "BUTTON_MIXER_MUTE9_ID", "resources/img/btn-part09.png", 2, false},
    {149, "BUTTON_MIXER_MUTE10_ID", "resources/img/btn-part10.png", 2, false},
    {150, "BUTTON_MIXER_MUTE11_ID", "resources/img/btn-part11.png", 2, false},
    {151, "BUTTON_MIXER_MUTE12_ID", "resources/img/btn-part12.png", 2, false},
    {152, "BUTTON_MIXER_MUTE13_ID", "resources/img/btn-part13.png", 2, false},
    {153, "BUTTON_MIXER_MUTE14_ID", "resources/img/btn-part14.png", 2, false},
    {154, "BUTTON_MIXER_MUTE15_ID", "resources/img/btn-part15.png", 2, false},
    {155, "BUTTON_MIXER_MUTE16_ID", "resources/img/btn-part16.png", 2, false},
    {300, "LED_MIXER_MIDI_ID", "resources/img/led-pink.png", 2, false},
    {313, "LED_MIXER_MIDI_INV_ID", "resources/img/led-pink-inv.png", 2, false},
    {301, "BTN_SMALL_ID", "resources/img/button-small.png", 2, false},
    {161, "BUTTON_BANK_RECALL_ID", "resources/img/btn-lib-bank-memory.png", 2, false},
    {168, "SLIDER_PYSTY", "resources/img/slider-pysty.png", 1, false},
    {170, "SLIDER_VAAKA", "resources/img/slider-vaaka.png", 1, false},
    {184, "BUTTON_PART_MUTE", "resources/img/btn-mute-part.png", 2, false},
    {202, "BUTTON_PATCHUP_ID", "resources/img/btn-patch-up.png", 2, false},
    {203, "BUTTON_PATCHDW_ID", "resources/img/btn-patch-down.png", 2, false},
    {258, "BTN_127x18_ID", "resources/img/btn-127x18.png", 1, true},
    {118, "BUTTON_LIB_CANCEL_ID", "resources/img/btn-cancel-request.png", 1, true},
    {128, "BUTTON_LOCK_WHITE_ID", "resources/img/btn-lock-white.png", 2, false},
    {304, "ID_TRIGGER", "resources/img/buttontrigger.png", 1, true},
    {306, "ID_RANDOMIZE", "resources/img/buttonrandomizer.png", 1, true},
    {103, "BG_ID_BROWSER", "resources/img/Sorvanta-browser-layer-bg.png", 1, true},
    {499, "BTN_MULTISETTINGS_ID", "resources/img/btn-additional-settings.png", 2, false},
    {498, "BTN_MULTIMODE_LED_PROTECT_ID", "resources/img/multimode-mixer-led-protect.png", 1, true},
    {497, "LED_MIXER_MIDI_LARGE_ID", "resources/img/part-led-pink.png", 2, false},
    {314, "BG_FIRST_RUN_ID", "resources/img/first-run-Sorvanta.png", 1, true},
    {315, "BTN_EXIT_FIRST_RUN_ID", "resources/img/first-run-exit.png", 1, true},
    {316, "BTN_OFFON_ID", "resources/img/btn-lib-display-categories.png", 2, false},
    {317, "BG_ID_CATEGORY_FILTER", "resources/img/categoryFilterBG.png", 1, true},
    {318, "BG_ID_MIDI_FILTERS", "resources/img/advanced-midi-filters.png", 1, true},
    {319, "BTN_CHECKBOX_ID", "resources/img/checkbox-button.png", 2, false},
    {320, "BTN_SMALL_LED_SM_ID", "resources/img/buttom-small-led.png", 2, false},
    {999, "BUTTON_BANK_SEARCH_ID", "resources/img/btn-search.png", 2, false},
    {998, "BG_SEARCH_FIELD_ID", "resources/img/bg-librarian-search-field.png", 1, true},
    {997, "BG_PATCH_CONFLICT_ID", "resources/img/bg-patch-conflict.png", 1, true},
    {996, "BUTTON_BANK_OVERWRITE_ID", "resources/img/btn-overwrite-slot.png", 1, true},
};
// 33 rows per colour scheme: yellow, blue, obsidra.
const SkinImageRow kSkinImages[] = {
    {"MAIN_BG_ID",
     {{500, "resources/img/main-bg-yellow.png"},
      {700, "resources/img/main-bg-blue.png"},
      {900, "resources/img/main-bg-obsidra.png"}},
     1,
     true},
    {"MULTI_SETTINGS_BG_ID",
     {{501, "resources/img/sorvanta-multi-settings-bg-yellow.png"},
      {701, "resources/img/sorvanta-multi-settings-bg-silver.png"},
      {901, "resources/img/sorvanta-multi-settings-bg-obsidra.png"}},
     1,
     true},
    {"MULTI_SETTINGS_BG2_ID",
     {{596, "resources/img/sorvanta-multi-settings-bg2-yellow.png"},
      {709, "resources/img/sorvanta-multi-settings-bg2-silver.png"},
      {912, "resources/img/sorvanta-multi-settings-bg2-obsidra.png"}},
     1,
     true},
    {"MULTI_MIXER_BG_ID",
     {{502, "resources/img/sorvanta-multimode-mixer-bg-yellow.png"},
      {702, "resources/img/sorvanta-multimode-mixer-bg-silver.png"},
      {902, "resources/img/sorvanta-multimode-mixer-bg-obsidra.png"}},
     1,
     true},
    {"QUICK_MIXER_ID",
     {{503, "resources/img/sorvanta-quick-mixer-bg-yellow.png"},
      {703, "resources/img/sorvanta-quick-mixer-bg-silver.png"},
      {903, "resources/img/sorvanta-quick-mixer-bg-obsidra.png"}},
     1,
     true},
    {"OSCILLATORS_ID",
     {{504, "resources/img/sorvanta-oscillator-bg-yellow.png"},
      {704, "resources/img/sorvanta-oscillator-bg-silver.png"},
      {904, "resources/img/sorvanta-oscillator-bg-obsidra.png"}},
     1,
     true},
    {"FILTERS_ENV_ID",
     {{505, "resources/img/sorvanta-filter-envelopes-yellow.png"},
      {705, "resources/img/sorvanta-filter-envelopes-silver.png"},
      {905, "resources/img/sorvanta-filter-envelopes-obsidra.png"}},
     1,
     true},
    {"LFO_MODMATRIX_ID",
     {{506, "resources/img/sorvanta-lfo-modmatrix-yellow.png"},
      {706, "resources/img/sorvanta-lfo-modmatrix-silver.png"},
      {906, "resources/img/sorvanta-lfo-modmatrix-obsidra.png"}},
     1,
     true},
    {"EFFECTS_ID",
     {{507, "resources/img/sorvanta-effects-arp-bg-yellow.png"},
      {707, "resources/img/sorvanta-effects-arp-bg-silver.png"},
      {907, "resources/img/sorvanta-effects-arp-bg-obsidra.png"}},
     1,
     true},
    {"BUTTON_LOCK_ID",
     {{509, "resources/img/btn-lock-yellow.png"},
      {128, "resources/img/btn-lock-white.png"},
      {609, "resources/img/btn-lock-black.png"}},
     2,
     false},
    {"BG_ID_ADSR",
     {{518, "resources/img/Sorvanta-adsr-env.png"},
      {718, "resources/img/sorvanta-adsr-env-silver.png"},
      {918, "resources/img/sorvanta-adsr-env-obsidra.png"}},
     1,
     true},
    {"BG_ID_ADSD2S2R",
     {{519, "resources/img/Sorvanta-adsd2s2r-env.png"},
      {719, "resources/img/sorvanta-adsd2s2r-env-silver.png"},
      {919, "resources/img/sorvanta-adsd2s2r-env-obsidra.png"}},
     1,
     true},
    {"BG_ID_ONESHOT",
     {{520, "resources/img/Sorvanta-oneshot-env.png"},
      {720, "resources/img/sorvanta-oneshot-env-silver.png"},
      {920, "resources/img/sorvanta-oneshot-env-obsidra.png"}},
     1,
     true},
    {"BG_ID_LOOPS1S2",
     {{521, "resources/img/Sorvanta-loops1s2-env.png"},
      {721, "resources/img/sorvanta-loops1s2-env-silver.png"},
      {921, "resources/img/sorvanta-loops1s2-env-obsidra.png"}},
     1,
     true},
    {"BG_ID_LOOPALL",
     {{522, "resources/img/Sorvanta-loopall-env.png"},
      {722, "resources/img/sorvanta-loopall-env-silver.png"},
      {922, "resources/img/sorvanta-loopall-env-obsidra.png"}},
     1,
     true},
    {"BG_ID_OSC_PW",
     {{510, "resources/img/osc-bg-pw.png"},
      {710, "resources/img/osc-bg-pw-silver.png"},
      {910, "resources/img/osc-bg-pw-obsidra.png"}},
     1,
     true},
    {"BG_ID_OSC_SUB",
     {{511, "resources/img/osc-bg-sub.png"},
      {711, "resources/img/osc-bg-sub-silver.png"},
      {911, "resources/img/osc-bg-sub-obsidra.png"}},
     1,
     true},
    {"BG_ID_FLP",
     {{512, "resources/img/bg-lowpass-filter.png"},
      {612, "resources/img/bg-lowpass-filter-white.png"},
      {612, "resources/img/bg-lowpass-filter-white.png"}},
     1,
     true},
    {"BG_ID_FBP",
     {{513, "resources/img/bg-bandpass-filter.png"},
      {613, "resources/img/bg-bandpass-filter-white.png"},
      {613, "resources/img/bg-bandpass-filter-white.png"}},
     1,
     true},
    {"BG_ID_FHP",
     {{514, "resources/img/bg-highpass-filter.png"},
      {614, "resources/img/bg-highpass-filter-white.png"},
      {614, "resources/img/bg-highpass-filter-white.png"}},
     1,
     true},
    {"BG_ID_FNOTCH",
     {{515, "resources/img/bg-notch-filter.png"},
      {615, "resources/img/bg-notch-filter-white.png"},
      {615, "resources/img/bg-notch-filter-white.png"}},
     1,
     true},
    {"BG_ID_FCOMB1",
     {{516, "resources/img/bg-comb-filter-minus.png"},
      {616, "resources/img/bg-comb-filter-minus-white.png"},
      {616, "resources/img/bg-comb-filter-minus-white.png"}},
     1,
     true},
    {"BG_ID_FCOMB2",
     {{517, "resources/img/bg-comb-filter-plus.png"},
      {617, "resources/img/bg-comb-filter-plus-white.png"},
      {617, "resources/img/bg-comb-filter-plus-white.png"}},
     1,
     true},
    {"EFFECTS_BYPASS_ID",
     {{523, "resources/img/01-bypassed-yellow.png"},
      {723, "resources/img/01-bypassed-silver.png"},
      {923, "resources/img/01-bypassed-obsidra.png"}},
     1,
     true},
    {"EFFECTS_CHORUS_ID",
     {{524, "resources/img/02-chorus-yellow.png"},
      {724, "resources/img/02-chorus-silver.png"},
      {924, "resources/img/02-chorus-obsidra.png"}},
     1,
     true},
    {"EFFECTS_FLANGER_ID",
     {{525, "resources/img/03-flanger-yellow.png"},
      {725, "resources/img/03-flanger-silver.png"},
      {925, "resources/img/03-flanger-obsidra.png"}},
     1,
     true},
    {"EFFECTS_PHASER_ID",
     {{526, "resources/img/04-phaser-yellow.png"},
      {726, "resources/img/04-phaser-silver.png"},
      {926, "resources/img/04-phaser-obsidra.png"}},
     1,
     true},
    {"EFFECTS_OVERDRIVE_ID",
     {{527, "resources/img/05-overdrive-yellow.png"},
      {727, "resources/img/05-overdrive-silver.png"},
      {927, "resources/img/05-overdrive-obsidra.png"}},
     1,
     true},
    {"EFFECTS_FIVEFX_ID",
     {{528, "resources/img/06-fivefx-yellow.png"},
      {728, "resources/img/06-fivefx-silver.png"},
      {928, "resources/img/06-fivefx-obsidra.png"}},
     1,
     true},
    {"EFFECTS_VOCODER_ID",
     {{529, "resources/img/07-vocoder-yellow.png"},
      {729, "resources/img/07-vocoder-silver.png"},
      {929, "resources/img/07-vocoder-obsidra.png"}},
     1,
     true},
    {"EFFECTS_DELAY_ID",
     {{530, "resources/img/08-delay-yellow.png"},
      {730, "resources/img/08-delay-silver.png"},
      {930, "resources/img/08-delay-obsidra.png"}},
     1,
     true},
    {"EFFECTS_REVERB_ID",
     {{531, "resources/img/09-reverb-yellow.png"},
      {731, "resources/img/09-reverb-silver.png"},
      {931, "resources/img/09-reverb-obsidra.png"}},
     1,
     true},
    {"EFFECTS_51DELAYS_ID",
     {{532, "resources/img/10-51delay-yellow.png"},
      {732, "resources/img/10-51delay-silver.png"},
      {932, "resources/img/10-51delay-obsidra.png"}},
     1,
     true},
};

}  // namespace

void UIConfigManager::initImages(IGraphics* g) {
  log("CONFIG READER: Started to read image resources...");
  for (const ImageRow& r : kCommonImages)
    preloadImage(g, r.id, r.name, r.file, r.frames, r.horizontal);
  if (skin >= 0 && skin <= 2) {
    for (const SkinImageRow& r : kSkinImages) {
      const auto& s = r.scheme[skin];
      preloadImage(g, s.id, r.name, s.file, r.frames, r.horizontal);
    }
  }
  log("CONFIG READER: Completed!");
}

void UIConfigManager::preloadImage(IGraphics* g, int id, const char* name, const char* file,
                                   int frames, bool horizontal) {
  if (!g || !name || !file) return;
  // The cache stores frames stacked; the side-by-side flag is applied when a handle is handed
  // out by name.
  IBitmap bm = g->LoadIBitmap(id, file, scale, frames, false);
  if (releasingImages) {
    g->ReleaseBitmap(&bm);
    return;
  }
  imageCache[name] = ImageInfo{id, frames, horizontal, file};
}

IBitmap UIConfigManager::getImageByName(IGraphics* g, const std::string& name) {
  auto it = imageCache.find(name);
  if (it == imageCache.end() || !g) {
    log("CONFIG READER: Image " + name + " MISSING!");
    return IBitmap(nullptr, 0, 0, 1, false);
  }
  return g->getImageById(it->second.id, it->second.frames, it->second.horizontalFrames);
}

void UIConfigManager::ClearImageCache() {
  if (!graphics) return;
  releasingImages = true;
  initImages(graphics);
  releasingImages = false;
}
