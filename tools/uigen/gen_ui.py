#!/usr/bin/env python3
"""Generates the interface description (uiconfig.xml), the SysEx value lists (sysex.xml) and the
layout of the painted page backgrounds (layout.txt, read by the image generator).

Runs at build time with the standard library only. Usage:
    gen_ui.py <source dir of tools/uigen> <output dir>

Everything on screen is placed here; the image generator paints the panel frames and the
captions from layout.txt so that a caption always sits under its control.

Value domain of the pitch parameters: every SysEx-bound parameter keeps its minimum at 0,
because the editor picks the prepared message by the parameter's value itself; the one
exception is a stepped knob (a fourth valueBounds number above 1): its valueBounds give the stops
the user turns it through, its parameter holds any data byte 0..127 (the synth may send an octave
below the lowest footage) and its messages are prepared for all of them. Octave (stops 16..112 in
steps of 12: the nine footages) and semitone (0..127) hold the byte that travels on the wire
(semitone 64 = no transpose), which is also the value the display formats. Where the
wire carries value + k (bend range, multi transpose, velocity limits, global tuning and
transpose), the parameter holds the user value and a slider writes k as its message offset.
"""
import os
import sys
from xml.sax.saxutils import quoteattr, escape

SRC = sys.argv[1]
OUT = sys.argv[2]
os.makedirs(OUT, exist_ok=True)

# ---------------------------------------------------------------------------------------------
# SysEx templates. Written without F0/F7: byte 0 manufacturer, 1 model, 2 device id (replaced
# when sending), 3 command, then the address; the last byte is the value.
DEVICE = 0x10
templates = []          # container order = sysexIndex
template_index = {}


def tmpl(text):
    if text not in template_index:
        template_index[text] = len(templates)
        templates.append(text)
    return template_index[text]


def sound_tmpl(index):
    # 3E 10 dev 20 part hi lo value: part at byte 4 (the factory writes it), value at byte 8.
    return tmpl("3E 10 %02X 20 00 %02X %02X 00" % (DEVICE, index >> 7, index & 0x7F))


def multi_tmpl(index):
    # 3E 10 dev 21 hi lo value: value at byte 7 (the lookup keys then start at the device id).
    return tmpl("3E 10 %02X 21 %02X %02X 00" % (DEVICE, index >> 7, index & 0x7F))


def global_tmpl(index):
    return tmpl("3E 10 %02X 24 %02X %02X 00" % (DEVICE, index >> 7, index & 0x7F))


# ---------------------------------------------------------------------------------------------
# Dump addresses
def read_table(name):
    rows = []
    with open(os.path.join(SRC, name)) as f:
        for line in f:
            if line.startswith("#") or not line.strip():
                continue
            rows.append(line.split())
    return rows


sound_index = {}
for row in read_table("sound_dump.txt"):
    for p in row[1:]:
        sound_index[p] = int(row[0])
for step in range(1, 17):
    for p in ("Glide", "Accent", "Step"):
        sound_index["kArpPattern%02d%s" % (step, p)] = 326 + step
    for p in ("Timing", "StepLen"):
        sound_index["kArpPattern%02d%s" % (step, p)] = 342 + step
slot_of = {}
for row in read_table("effect_slots.txt"):
    for p in row[2:]:
        slot_of[p] = int(row[0])
    sound_index[row[1]] = int(row[0])
for p, i in slot_of.items():
    sound_index[p] = i

MULTI_COMMON = {"kMultiMasterVolume": 0, "kMultiControlW": 1, "kMultiControlX": 2,
                "kMultiControlY": 3, "kMultiControlZ": 4, "kMultiTempo": 5}
MULTI_PART = {"kMultiPartBank": 0, "kMultiPartPatch": 1, "kMultiPartMIDICh": 2,
              "kMultiPartLevel": 3, "kMultiPartTranspose": 4, "kMultiPartDetune": 5,
              "kMultiPartOutput": 6, "kMultiPartStatus": 7, "kMultiPartPanning": 8,
              "kMultiPartVeloLow": 12, "kMultiPartVeloHigh": 13, "kMultiPartKeyLow": 14,
              "kMultiPartKeyHigh": 15}
GLOBAL = {"kGlobalTuning": 5, "kGlobalTranspose": 6, "kGlobalControlSend": 7,
          "kGlobalReceive": 8, "kGlobalArpSend": 15, "kGlobalClock": 19,
          "kGlobalMidiChannel": 24, "kGlobalSysExID": 25, "kGlobalLocalControl": 26,
          "kGlobalPopupTime": 27, "kGlobalDisplayContrast": 29, "kGlobalKeyVeloCurve": 30,
          "kGlobalReleaseCurve": 31, "kGlobalPressureCurve": 32, "kGlobalInputGain": 33,
          "kGlobalFX2Link": 35, "kGlobalControlW": 53, "kGlobalControlX": 54,
          "kGlobalControlY": 55, "kGlobalControlZ": 56, "kGlobalRxProgramChange": 57,
          "kGlobalMixInputTo": 58, "kGlobalInputMix": 59, "kGlobalPedalOffset": 70,
          "kGlobalPedalGain": 71, "kGlobalPedalCurve": 72, "kGlobalPedalController": 73,
          "kGlobalTxProgramChange": 74}

# ---------------------------------------------------------------------------------------------
# Value lists (entry k is the text for value k)
def nums(a, b, fmt="%d"):
    return [fmt % i for i in range(a, b + 1)]


NOTE = ["C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"]
mod_src = ["Off", "LFO 1", "LFO 2", "LFO 3", "Filter Env", "Amp Env", "Env 3", "Env 4",
           "Velocity", "Key Follow", "Mod Wheel", "Pitch Bend", "Aftertouch", "Breath",
           "Foot", "Expression", "Sustain", "Ctrl W", "Ctrl X", "Ctrl Y", "Ctrl Z", "Random"]
destinations = ["Off", "Osc 1 Pitch", "Osc 2 Pitch", "Osc 3 Pitch", "Osc 1 Shape",
                "Osc 2 Shape", "Osc 1 PW", "Osc 2 PW", "Osc 1 Level", "Osc 2 Level",
                "Osc 3 Level", "Noise Level", "Ring Mod", "FM Amount", "Cutoff 1",
                "Cutoff 2", "Resonance 1", "Resonance 2", "Drive 1", "Drive 2", "Pan 1",
                "Pan 2", "Amp Level", "Panorama", "LFO 1 Rate", "LFO 2 Rate", "LFO 3 Rate",
                "FX 1 Mix", "FX 2 Mix", "Unison Detune", "Glide Rate", "Env Attack",
                "Env Decay", "Env Release"]
clock = ["1/64", "1/32", "1/16", "1/8", "1/4", "1/2", "3/64", "3/32", "3/16", "3/8",
         "1/24", "1/12", "1/6", "1/3", "2/3", "3/4", "1/1", "2/1", "4/1", "8/1", "16/1"]
VALUE_LISTS = {
    "oscillator12shape": ["Sine", "Pulse", "Saw", "Triangle", "Noise"] +
                         ["Spectral %d" % i for i in range(1, 65)],
    "oscillator3shape": ["Off", "Slave", "Saw", "Pulse", "Sine", "Triangle"] +
                        ["Spectral %d" % i for i in range(1, 65)],
    "unisonoVoices": ["Off", "2 Voices", "3 Voices", "4 Voices", "5 Voices", "6 Voices",
                      "7 Voices", "8 Voices"],
    "oscillatorFMSource": ["Osc 2", "Osc 3", "Noise", "Ext In", "Ring Mod", "Sub Osc"],
    "oscillatorPWMSource": mod_src,
    "fastModMatrixDestinations": destinations,
    "standardMatrixSources": mod_src,
    "standardMatrixDestinations": destinations,
    "modifierMatrixSources": mod_src,
    "modifierOperators": ["Add", "Multiply", "Minimum", "Maximum", "Difference", "Gate",
                          "Cross Fade"],
    "noiseFeedSource": ["Noise", "Ext Left", "Ext Right", "Ext Stereo", "Osc 3"],
    "filter1Type": ["Bypass", "LP 12 dB", "LP 24 dB", "BP 6 dB", "BP 12 dB", "HP 12 dB",
                    "HP 24 dB", "Notch 12 dB", "Notch 24 dB", "Comb -", "Comb +",
                    "Analog LP 1", "Analog LP 2", "Analog LP 3", "Analog LP 4"],
    "lfoShape": ["Sine", "Triangle", "Saw Up", "Saw Down", "Square", "Sample & Hold",
                 "Sample & Glide", "Random"] + ["Wave %d" % i for i in range(1, 65)],
    "startPhase": ["Free"] + ["%d deg" % (i * 3) for i in range(1, 121)],
    "clockedValues": [clock[i % len(clock)] for i in range(128)],
    "envelopeMode": ["ADSR", "ADSD2S2R", "One Shot", "Loop S1-S2", "Loop All"],
    "envelopeTrigger": ["Single", "Multi"],
    "fx1Mode": ["Bypass", "Chorus", "Flanger", "Phaser", "Overdrive", "Five FX", "Vocoder"],
    "fx2Mode": ["Bypass", "Chorus", "Flanger", "Phaser", "Overdrive", "Five FX", "Vocoder",
                "Delay", "Reverb", "5.1 Delay", "5.1 Delay Clk"],
    "positiveNegative": ["Positive", "Negative"],
    "sampleRate": ["%d Hz" % int(44100 / (i + 1)) for i in range(128)],
    "fxInputList": ["Left", "Right", "Left + Right", "Ext Left", "Ext Right", "Ext L + R",
                    "Aux 1", "Aux 2"],
    "analysisFrequency": ["%d Hz" % int(20 * (1.0565 ** i)) for i in range(128)],
    "delayPercentage": ["%.1f %%" % (i * 100.0 / 127) for i in range(128)],
    "delayFreeValues": ["%.1f ms" % (i * 5.46) for i in range(128)],
    "delayClockedValues": [clock[i % len(clock)] for i in range(128)],
    "preDelay": ["%.1f ms" % (i * 2.36) for i in range(128)],
    "reverbSize": ["Ambience", "Small Room", "Large Room", "Hall"] +
                  ["Size %d" % i for i in range(4, 128)],
    "fxGlobalLink": ["Off"] + ["Part %d" % i for i in range(1, 17)],
    "arpMode": ["Off", "Up", "Down", "Up & Down", "As Played", "Random", "Chord",
                "Arp > Matrix"],
    "arpPattern": ["User"] + ["Pattern %d" % i for i in range(1, 64)],
    "arpNoteLength": ["%d %%" % (i * 100 // 127) for i in range(128)],
    "arpDirection": ["Up", "Down", "Up & Down", "Random"],
    "arpSortOrder": ["As Played", "Reversed", "Key Lo > Hi", "Key Hi > Lo", "Vel Lo > Hi",
                     "Vel Hi > Lo"],
    "arpVeloMode": ["Envelope", "Sequencer", "Root Note", "Last Note"],
    "arpClock": clock,
    "arpStepDisplay": ["Off", "Note 1", "Note 2", "Note 3", "Note 4", "Chord", "Rest",
                       "Tie"],
    "arpAccent": ["Silent", "-96", "-64", "-32", "0", "+32", "+64", "+96"],
    "arpTiming": ["%+d" % (i - 8) for i in range(16)],
    "arpStepLength": ["%d/8" % (i + 1) for i in range(8)] + ["Legato"] * 8,
    "partStatus": ["Off", "On", "Multi", "Split"],
    "outputList": ["Out 1 L", "Out 1 L+R", "Out 1 R", "Out 2 L", "Out 2 L+R", "Out 2 R",
                   "Out 3 L", "Out 3 L+R", "Out 3 R", "Aux 1", "Aux 2"],
    "keyList": ["%s%d" % (NOTE[i % 12], i // 12 - 2) for i in range(128)],
    "keyVeloCurve": ["Linear", "Soft", "Medium", "Hard", "Fixed"],
    "keyVeloOnCurve": ["Linear", "Soft", "Medium", "Hard", "Exponential", "Fixed"],
    "keyVeloOffCurve": ["Off", "Linear", "Soft", "Medium", "Hard", "Exponential"],
    "keyPressureCurve": ["Linear", "Soft", "Medium", "Hard", "Exponential"],
    "pedalCvController": ["Off", "Mod Wheel", "Breath", "Foot", "Expression", "Volume",
                          "Pan", "Ctrl W", "Ctrl X", "Ctrl Y", "Ctrl Z"],
    "globalChannel": ["Omni"] + nums(1, 16),
    "globalClock": ["Internal", "Auto", "Send", "Receive"],
    "controllerSend": ["Off", "Control Change", "SysEx", "CC + SysEx"],
    "controllerReceive": ["Off", "Control Change", "SysEx", "CC + SysEx"],
    "programChange": ["Off", "On"],
    "globalTuning": ["%+d cent" % (i - 10) for i in range(74)],
    "globalInputGain": ["0 dB", "+6 dB", "+12 dB", "+18 dB", "+24 dB"],
    "globalMixInTo": ["Off", "Out 1", "Out 2", "Out 3", "Aux 1", "Aux 2"],
    "globalPopupTime": ["%.1f s" % (i * 0.1 + 0.1) for i in range(128)],
    "controlList": ["Off"] + ["CC %d" % i for i in range(1, 120)],
    "tempoValues": nums(65, 192),   # the wire value is BPM - 65
    "midiChannelList": ["Global", "Omni"] + nums(1, 16),
    "bankList": ["Bank %c" % c for c in "ABCDEFGHIJKLMNOPQRSTUVWXYZ"],
    "glideModes": ["Portamento", "Fingered Porta", "Glissando", "Fingered Gliss"],
    "voiceModes": ["Poly", "Mono"],
    "filterRouting": ["Parallel", "Serial 4", "Serial 6", "Split Mode"],
    "filterLinkModes": ["Mode 0", "Unlinked", "Mode 2", "Linked"],
    "frqDivide": nums(1, 32),
    "interfaceSize": ["Small", "Normal", "Large"],
    "interfaceStyle": ["Yellow", "Blue", "Obsidra"],
    "onOff": ["OFF", "ON"],
}

# Receive and transmit program change: the synth's global data carries 0, 1 or 2 (its own
# template and factory state send 2). With fewer entries the menu would clamp the synth's 2 and
# the next global dump would change the synth's setting behind the user's back.
VALUE_LISTS["programChange"] = ["Off", "Program", "Program + Bank"]

# ---------------------------------------------------------------------------------------------
# Layout bookkeeping: what the painter draws on each page background.
sections = []   # [header, lines, seen]: one per painted image, in order
section_stack = []


def begin_section(kind, name, px, py, w, h):
    """Starts an image painted from the layout: kind "page" (a page backdrop with panels) or
    "picture" (an effect picture that carries the captions of its type's controls)."""
    sec = ["%s %s %d %d %d %d" % (kind, name, px, py, w, h), [], set()]
    sections.append(sec)
    section_stack.append(sec)


def end_section():
    section_stack.pop()


def paint(kind, *args):
    # The part pages repeat per part; each line is painted once per image.
    line = " ".join([kind] + [str(a) for a in args])
    sec = section_stack[-1]
    if line not in sec[2]:
        sec[2].add(line)
        sec[1].append(line)


class XML:
    """Writes the description and remembers every element with the layers around it, from
    which the preview of the default window is drawn."""

    def __init__(self):
        self.lines = []
        self.depth = 0
        self.path = []
        self.elements = []

    def open(self, tag, **attrs):
        self.lines.append("  " * self.depth + "<%s%s>" % (tag, fmt_attrs(attrs)))
        self.depth += 1
        if tag == "layer":
            self.path.append((attrs["name"], attrs.get("id", 0)))
        elif tag == "multilayer":
            self.path.append(("#copy", 0))
        else:
            self.path.append(None)

    def close(self, tag):
        self.depth -= 1
        self.lines.append("  " * self.depth + "</%s>" % tag)
        self.path.pop()

    def elem(self, tag, **attrs):
        self.lines.append("  " * self.depth + "<%s%s/>" % (tag, fmt_attrs(attrs)))
        self.elements.append(([p for p in self.path if p], tag, attrs))


def fmt_attrs(attrs):
    out = ""
    for k, v in attrs.items():
        if v is None:
            continue
        out += " %s=%s" % (k.rstrip("_"), quoteattr(str(v)))
    return out


x = XML()

KNOB = "IKNOBROTATERCONTROL_ID2"     # 128 frames, 44 x 44
KNOB_SMALL = "IKNOBROTATERCONTROL_ID3"
KNOB_SIZE = 44
SLIDER_HANDLE_W = 14                 # SLIDER_VAAKA handle width: a fader's travel is length - 14
KNOB_SMALL_SIZE = 30
SWITCH = "BTN_SMALL_LED_SM_ID"       # 2 frames stacked, 32 x 16
MENU_H = 13


def address(param):
    """(template index, changing byte) of a sound parameter's message."""
    return sound_tmpl(sound_index[param]), 8


# Filter 1 and filter 2 parameters that move together while the part's link switch is on.
FILTER_PAIRS = ("Cutoff", "Resonance", "EnvAmount", "Keytrack", "Drive", "EnvVelocity",
                "Panning", "ModAmount", "FMAmount", "PanAmount")


def filter_link(param):
    """biDirectLink text of a filter pair parameter (partner, link switch), else None."""
    for n, other in (("1", "2"), ("2", "1")):
        for pair in FILTER_PAIRS:
            if param == "kFilter%s%s" % (n, pair):
                return "kFilter%s%s,kFilterLinkSwitch" % (other, pair)
    return None


def se_knob(param, label, px, py, lo=0, hi=127, default=64, knob=KNOB, caption=True, step=1,
            cc=None):
    """A SysEx knob; `cc` names the controller with which the synth reports it (the knob follows
    it, its own edits still go out as SysEx)."""
    t, cb = address(param)
    x.elem("knobcontrol", type="seKnob", name=label, paramId=param, imageId=knob,
           position="%d,%d,0" % (px, py), valueBounds="%d,%d,%d,%d" % (default, lo, hi, step),
           sysexIndex=t, changingByte=cb, biDirectLink=filter_link(param), ccNumber=cc)
    if caption:
        size = KNOB_SIZE if knob != KNOB_SMALL else KNOB_SMALL_SIZE
        paint("caption", px + size // 2, py + size + 11, label)


def se_slider(param, label, px, py, length, lo, hi, default, offset, tmpl_cb):
    t, cb = tmpl_cb
    x.elem("slidercontrol", type="seSliderHor", name=label, paramId=param,
           imageId="SLIDER_VAAKA", position="%d,%d,0" % (px, py), length=length + 14,
           valueBounds="%d,%d,%d,1" % (default, lo, hi), msgZeroVal=offset, sysexIndex=t,
           changingByte=cb)
    paint("slot", px, py + 4, length + 14, 6)
    paint("caption_left", px, py - 5, label)


# Trigger buttons: momentary pushes that the editor answers by flipping their target (the same
# part's switch, two-state knob or ON/OFF menu) as if it had been clicked. The target keeps its
# own binding and shows the state; the trigger has none. Keys are the targets.
TRIGGERS = {
    "kFX1PhaserPolarity": "kTriggerFX1PhaserPolarity",
    "kFX2PhaserPolarity": "kTriggerFX2PhaserPolarity",
    "kFX1FlangerPolarity": "kTriggerFX1FlangerPolarity",
    "kFX2FlangerPolarity": "kTriggerFX2FlangerPolarity",
    "kFX2DelayPolarity": "kTriggerFX2DelayPolarity",
    "kFX2DelayAutoPan": "kTriggerFX2DelayAutoPan",
    "kFX2DelayClocked": "kTriggerFX2DelayClocked",
    "kArpSameNoteOverlap": "kTriggerArpNoteOverlap",
    "kArpPatternReset": "kTriggerArpPatternReset",
    "kOscillator2SyncToOsc3": "kTriggerOscillator2SyncToOsc3",
    "kOscillatorMonoPolyMode": "kTriggerOscillatorMonoPolyMode",
    "kOscillatorGlideOnOffSwitch": "kTriggerOscillatorGlideOnOffSwitch",
    "kFilterEnvTrigger": "kTriggerFilterEnvTrigger",
    "kAmpEnvTrigger": "kTriggerAmpEnvTrigger",
    "kEnv3Trigger": "kTriggerEnv3Trigger",
    "kEnv4Trigger": "kTriggerEnv4Trigger",
    "kLFO1Clock": "kTriggerLFO1Clock",
    "kLFO2Clock": "kTriggerLFO2Clock",
    "kLFO3Clock": "kTriggerLFO3Clock",
    "kLFO1SyncOnOff": "kTriggerLFO1SyncOnOff",
    "kLFO2SyncOnOff": "kTriggerLFO2SyncOnOff",
    "kLFO3SyncOnOff": "kTriggerLFO3SyncOnOff",
    "kGlobalArpSend": "kTriggerGlobalArpMidiOut",
    "kGlobalLocalControl": "kTriggerGlobalLocalKBDControl",
}
TRIGGER_SIZE = 18   # BTN_18x18_ID


def trigger(target, label, px, py):
    """The push button that flips `target` (an "autooff": it falls back to 0 on release, and
    the editor ignores the 0)."""
    x.elem("autooff", name="Toggle " + label, paramId=TRIGGERS[target], imageId="BTN_18x18_ID",
           position="%d,%d" % (px, py))


def se_button(param, label, px, py, tmpl_cb=None):
    """A SysEx switch drawn as an LED; a parameter with a trigger gets the push button right of
    the LED, and the caption moves past it."""
    t, cb = tmpl_cb or address(param)
    x.elem("buttoncontrol", type="seButton", name=label, paramId=param, imageId=SWITCH,
           position="%d,%d,0" % (px, py), valueBounds="0,0,1,1", sysexIndex=t,
           changingByte=cb)
    caption_x = px + 38
    if param in TRIGGERS:
        trigger(param, label, caption_x, py - 1)
        caption_x += TRIGGER_SIZE + 6
    paint("caption_left", caption_x, py + 12, label)


def se_menu(param, label, px, py, width, lst, tmpl_cb=None, default=0, number_range=None,
            cc=None):
    t, cb = tmpl_cb or address(param)
    if number_range:
        n = number_range[1] - number_range[0] + 1
        extra = {"valueDisplay": "%d:%d" % number_range}
        lst_name = None
    else:
        n = len(VALUE_LISTS[lst])
        extra = {}
        lst_name = lst
    x.elem("menucontrol", type="seMenu", name=label, paramId=param,
           position=menu_position(px, py, width), valueBounds="%d,0,%d,0" % (default, n),
           valueList=lst_name, sysexIndex=t, changingByte=cb, ccNumber=cc, **extra)
    field(px, py, width, label)


# The display centres a menu's text with room for descenders below it, so its capitals sit high
# in the 13-pixel line: a SysEx or CC menu's rectangle starts MENU_TEXT_DROP pixels below the
# top of the well painted for it (the well wraps py .. py + 13 by 2 pixels), which puts its text
# in the middle of the well at every size (at the small size it touched the well's top).
MENU_TEXT_DROP = 2


def menu_position(px, py, w):
    return "%d,%d,%d" % (px, py + MENU_TEXT_DROP, w)


def field(px, py, w, caption, h=MENU_H):
    """The painted well under a menu or name field, with its caption above it."""
    paint("field", px - 2, py - 2, w + 4, h + 4)
    if caption:
        paint("caption_left", px, py - 4, caption)


def panel(px, py, w, h, title):
    paint("panel", px, py, w, h, title)


# Knob grid helper: a row of knobs inside a panel, 62 px apart.
def knob_row(items, px, py, step=72):
    for i, (p, label) in enumerate(items):
        lo, hi, d = 0, 127, 64
        if isinstance(p, tuple):
            p, lo, hi, d = p
        se_knob(p, label, px + i * step, py, lo, hi, d)


# ---------------------------------------------------------------------------------------------
W, H = 1500, 757
BODY_Y = 96       # top of the tab pages
BODY_X = 84       # right of the part column

x.lines.append('<?xml version="1.0" encoding="UTF-8"?>')
x.open("uiconfig")
x.open("valueLists")
for name, entries in VALUE_LISTS.items():
    x.open("list", name=name)
    for e in entries:
        x.lines.append("  " * x.depth + "<value>%s</value>" % escape(e))
    x.close("list")
x.close("valueLists")

# ---- top bar, part column and displays (every tab) ------------------------------------------
begin_section("page", "MAIN_BG_ID", 0, 0, W, H)
x.elem("background", imageId="MAIN_BG_ID", position="0,0")
x.elem("radio", name="Main Tab", paramId="kMainTab", imageId="BUTTON_TAB_TOPBAR_ID",
       position="%d,%d" % (260, 14), buttons=6, horizontal="true")
x.elem("radio", name="Part", paramId="kQuickTab", imageId="BUTTON_TAB_SIDEBAR_ID",
       position="%d,%d" % (6, BODY_Y), buttons=16, horizontal="false")
# status box: what was touched and its value; beneath it the part's sound, bank and program
x.elem("display", paramId="kControlDisplayName", bounds="980,8,310,18", displaySize="1")
x.elem("display", paramId="kControlDisplayValue", bounds="980,30,310,18", displaySize="2")
x.elem("display", paramId="kControlDisplayCC", bounds="1296,8,76,18", displaySize="4")
x.elem("display", paramId="kControlDisplayMIDIOutDelay", bounds="1296,30,76,18",
       displaySize="4")
x.elem("display", paramId="kControlDisplayCategory", bounds="1258,63,118,18",
       displaySize="4")
x.elem("display", paramId="kControlDisplayPatch", bounds="20,66,220,18", displaySize="3")
x.elem("display", paramId="kControlDisplayBuild", bounds="1380,740,110,14", displaySize="0")
paint("display_field", 1140, 60, 42, 24)   # bank number menu (made by the editor, which
paint("display_field", 1184, 60, 46, 24)   # writes bank and program in the display's yellow)
x.elem("autooff", name="Randomize", paramId="kRandomize", imageId="ID_RANDOMIZE",
       position="1390,12")
x.elem("autooff", name="About", paramId="kDisplayAboutWindow", imageId="BTN_SEE_ABOUT_ID",
       position="1390,56")
x.elem("dropMenu", type="deviceSelection", name="MIDI Out", paramId="kDeviceOutSelection",
       bounds="84,740,240,14", inputDev="0,0")
x.elem("dropMenu", type="deviceSelection", name="MIDI In", paramId="kDeviceInSelection",
       bounds="400,740,240,14", inputDev="1,0")
field(84, 740, 240, None, 14)
paint("caption_left", 40, 750, "OUT")
field(400, 740, 240, None, 14)
paint("caption_left", 360, 750, "IN")
x.elem("switch", name="MIDI Filters", paramId="kViewMIDIFilterSettings",
       imageId="BTN_SMALL_ID", position="690,738", valueBounds="0,0,1")
paint("caption_left", 730, 750, "MIDI FILTERS")
x.elem("switch", name="Send MIDI Clock", paramId="kSendMIDIClockInfo", imageId="BTN_SMALL_ID",
       position="840,738", valueBounds="0,0,1")
paint("caption_left", 880, 750, "MIDI CLOCK")
x.elem("switch", name="Song Position", paramId="kSendMIDIClockPointer",
       imageId="BTN_SMALL_ID", position="980,738", valueBounds="0,0,1")
paint("caption_left", 1020, 750, "SONG POS")
x.elem("autooff", name="Request Multi", paramId="kRequestTempData", imageId="BTN_127x18_ID",
       position="1100,737")
paint("caption", 1163, 750, "REQUEST MULTI")
x.elem("autooff", name="Send Multi", paramId="kPushArrangement", imageId="BTN_127x18_ID",
       position="1234,737")
paint("caption", 1297, 750, "SEND MULTI")

# ---- root: the six tab pages ----------------------------------------------------------------
x.open("layer", name="root", id=0)

# tab 0: the multi pages are top-level layers, shown by the tab switch
x.open("layer", name="multiTab", id=0)
x.close("layer")

# tab 1: librarian. The editor lays its bank menus (transparent, they only pop up) over the two
# selection lists at 394,188 and 394,461; the slot grid shows the upper bank above the lower one.
x.open("layer", name="patchLibrarian", id=1)
x.elem("background", imageId="BG_ID_BROWSER", position="%d,%d" % (BODY_X, BODY_Y))
begin_section("page", "BG_ID_BROWSER", BODY_X, BODY_Y, W - BODY_X - 6, 636)
panel(BODY_X + 10, BODY_Y + 10, 220, 626, "LIBRARIAN")
panel(BODY_X + 240, BODY_Y + 10, 1160, 626, "BANKS")  # holds both slot grids (210..730)
x.elem("patchBrowser", imageId="MANAGER_BG_ID2", bounds="%d,%d,%d,%d" % (394, 210, 1037, 500))
# (parameter, what the display calls it when touched, image, valueBounds, caption)
lib_switches = [("kDatatype", "Show Multis", "BUTTON_LIB_DATATYPE_ID", "0,0,1", None),
                ("kCategorySelection", "Show Categories", "BTN_OFFON_ID", "0,0,1", None),
                ("kPatchSearch", "Search", "BUTTON_BANK_SEARCH_ID", "0,0,1", None),
                ("kKeepSelectedBank", "Keep Bank", "BUTTON_BANK_RECALL_ID", "1,0,1", None),
                ("kControlLibrary", "Library Names", "BTN_CHECKBOX_ID", "0,0,1", "Library names"),
                ("kControlProgBank", "Request on Program", "BTN_CHECKBOX_ID", "1,0,1",
                 "Request on program")]
for i, (pid, label, img, vb, caption) in enumerate(lib_switches):
    py = BODY_Y + 44 + i * 38
    x.elem("switch", name=label, paramId=pid, imageId=img, position="%d,%d" % (110, py),
           valueBounds=vb)
    if caption:
        paint("caption_left", 136, py + 13, caption)
x.elem("autooff", name="Refresh", paramId="kRefreshFolders", imageId="BTN_18x18_ID",
       position="110,%d" % (BODY_Y + 44 + 6 * 38))
paint("caption_left", 136, BODY_Y + 44 + 6 * 38 + 13, "Rescan folders")
paint("caption_left", 110, 420, "Drag a lower slot onto an")
paint("caption_left", 110, 436, "upper one to copy it there;")
paint("caption_left", 110, 452, "double click to send a slot.")
for pid, label, px, py, img in (
        ("kLibUpperPreviousBank", "Previous Upper Bank", 344, 188, "BUTTON_PATCHDW_ID"),
        ("kLibUpperNextBank", "Next Upper Bank", 368, 188, "BUTTON_PATCHUP_ID"),
        ("kLibLowerPreviousBank", "Previous Lower Bank", 344, 461, "BUTTON_PATCHDW_ID"),
        ("kLibLowerNextBank", "Next Lower Bank", 368, 461, "BUTTON_PATCHUP_ID")):
    x.elem("autooff", name=label, paramId=pid, imageId=img, position="%d,%d" % (px, py))
x.elem("dropMenu", type="textSelection", name="Bank Selection List 1",
       paramId="kPatchSelectionListUpper", bounds="394,188,416,19")
x.elem("dropMenu", type="textSelection", name="Bank Selection List 2",
       paramId="kPatchSelectionListLower", bounds="394,461,416,19")
paint("field", 392, 186, 420, 23)
paint("field", 392, 459, 420, 23)
paint("caption_left", 394, 182, "UPPER BANK")
paint("caption_left", 394, 455, "LOWER BANK")  # above its list, as the upper one
paint("field", 837, 185, 81, 22)   # bank edit menu, made by the editor
paint("caption_left", 839, 182, "EDIT")
x.close("layer")
end_section()

# tab 2..5: per-part pages
PART_PAGES = []


def part_page(layer_name, bg_image, multi_name, builder, tab_id):
    x.open("layer", name=layer_name, id=tab_id)
    x.elem("background", imageId=bg_image, position="%d,%d" % (BODY_X, BODY_Y))
    begin_section("page", bg_image, BODY_X, BODY_Y, W - BODY_X - 6, 636)
    x.open("multilayer", name=multi_name, create=16)
    builder()
    x.close("multilayer")
    end_section()
    x.close("layer")


def zone(name, zid, builder):
    x.open("layer", name=name, id=zid)
    builder()
    x.close("layer")


OX, OY = BODY_X, BODY_Y     # page origin, page-local coordinates below add to it


# The controllers with which the synth reports the oscillators' octave, semitone and shape (the
# octave and semitone controllers carry the wire byte, as their SysEx does) and the filter types.
OSC_CC = {1: (27, 28, 31), 2: (35, 36, 39), 3: (42, 43, 46)}
FILTER_TYPE_CC = {1: 76, 2: 79}


def osc_page():
    for n, (ox, oy) in enumerate(((20, 20), (20, 230), (20, 440)), start=1):
        gx, gy = OX + ox, OY + oy
        panel(gx, gy, 660, 190, "OSCILLATOR %d" % n)
        p = "kOscillator%d" % n
        octave_cc, semitone_cc, shape_cc = OSC_CC[n]
        se_menu(p + "Shape", "Shape", gx + 16, gy + 40, 130,
                "oscillator12shape" if n < 3 else "oscillator3shape", cc=shape_cc)
        # the user steps through the nine footages: wire bytes 16 + 12n, 64 = 8'; the parameter
        # holds whatever byte the synth sends
        se_knob(p + "Octave", "Octave", gx + 170, gy + 30, 16, 112, 64, step=12,
                knob="IKNOBROTATERCONTROL_ID9", cc=octave_cc)
        se_knob(p + "Semitone", "Semitone", gx + 242, gy + 30, 0, 127, 64, cc=semitone_cc)
        se_knob(p + "Detune", "Detune", gx + 314, gy + 30)
        se_slider(p + "BendRange", "Bend Range", gx + 16, gy + 100, 130, 0, 48, 26, 40,
                  address(p + "BendRange"))
        se_knob(p + "Keytrack", "Key Track", gx + 386, gy + 30, 0, 127, 96)
        se_menu(p + "FMSource", "FM Source", gx + 16, gy + 150, 130, "oscillatorFMSource")
        se_knob(p + "FMAmount", "FM Amount", gx + 170, gy + 110, 0, 127, 0)
        se_menu(p + "PWMSource", "PWM Source", gx + 462, gy + 40, 120,
                "oscillatorPWMSource")
        if n < 3:
            def pw_zone(p=p, gx=gx, gy=gy):
                x.elem("background", imageId="BG_ID_OSC_PW",
                       position="%d,%d" % (gx + 244, gy + 92))
                se_knob(p + "Pulsewidth", "Pulse Width", gx + 242, gy + 110, 0, 127, 64)
                se_knob(p + "PWMAmount", "PWM Amount", gx + 314, gy + 110)

            def sub_zone(p=p, gx=gx, gy=gy):
                x.elem("background", imageId="BG_ID_OSC_SUB",
                       position="%d,%d" % (gx + 462, gy + 80))
                se_menu(p + "FrqDivide", "Divide", gx + 462, gy + 124, 120, "frqDivide")
                se_knob(p + "SubLevel", "Sub Level", gx + 386, gy + 110, 0, 127, 0)
            zone("osc%dPW" % n, 10 + 20 * (n - 1), pw_zone)
            zone("osc%dSub" % n, 20 + 20 * (n - 1), sub_zone)
        else:
            def o3_zone(p=p, gx=gx, gy=gy):
                se_knob(p + "Pulsewidth", "Pulse Width", gx + 242, gy + 110, 0, 127, 64)
                se_knob(p + "PWMAmount", "PWM Amount", gx + 314, gy + 110)
            zone("osc3PW", 50, o3_zone)
        se_knob(p + "Level", "Level", gx + 600, gy + 30, 0, 127, 100 if n == 1 else 0)
        se_knob(p + "Balance", "F1 / F2", gx + 600, gy + 110)
    # osc 2 sync sits in its panel's title bar
    x.elem("buttoncontrol", type="seButton", name="Sync 2>3", paramId="kOscillator2SyncToOsc3",
           imageId=SWITCH, position="%d,%d,0" % (OX + 20 + 560, OY + 232),
           valueBounds="0,0,1,1", sysexIndex=address("kOscillator2SyncToOsc3")[0],
           changingByte=8)
    paint("caption_title", OX + 20 + 490, OY + 244, "SYNC TO 3")
    trigger("kOscillator2SyncToOsc3", "Sync 2>3", OX + 20 + 598, OY + 231)
    # pitch, glide, unison, mixer
    gx, gy = OX + 700, OY + 20
    panel(gx, gy, 295, 190, "PITCH & GLIDE")
    se_menu("kOscillatorPitchSource", "Pitch Mod", gx + 16, gy + 40, 130,
            "oscillatorPWMSource")
    se_knob("kOscillatorPitchAmount", "Amount", gx + 170, gy + 30)
    se_button("kOscillatorGlideOnOffSwitch", "Glide", gx + 16, gy + 80)
    se_menu("kOscillatorGlideMode", "Glide Mode", gx + 16, gy + 140, 130, "glideModes")
    se_knob("kOscillatorGlideRate", "Rate", gx + 242, gy + 30, 0, 127, 0)
    gx, gy = OX + 700, OY + 230
    panel(gx, gy, 295, 190, "UNISON")
    se_menu("kOscillatorUnisono", "Voices", gx + 16, gy + 40, 130, "unisonoVoices")
    se_button("kOscillatorMonoPolyMode", "Mono", gx + 16, gy + 80)
    se_knob("kOscillatorUniDetune", "Detune", gx + 170, gy + 30, 0, 127, 40)
    gx, gy = OX + 700, OY + 440
    panel(gx, gy, 690, 190, "NOISE & RING")
    se_knob("kNoiseLevel", "Noise", gx + 20, gy + 30, 0, 127, 0)
    se_knob("kNoiseBalance", "F1 / F2", gx + 92, gy + 30)
    se_knob("kRingModulationLevel", "Ring Mod", gx + 164, gy + 30, 0, 127, 0)
    se_knob("kRingModulationBalance", "F1 / F2", gx + 236, gy + 30)
    se_menu("kNoiseExtFilter1Source", "Feed F1", gx + 330, gy + 40, 130, "noiseFeedSource")
    se_menu("kNoiseExtFilter2Source", "Feed F2", gx + 330, gy + 80, 130, "noiseFeedSource")
    locks_panel(OX + 1010, OY + 20, [
        ("kSectionLockOsc1", "Osc 1"), ("kSectionLockOsc2", "Osc 2"),
        ("kSectionLockOsc3", "Osc 3"), ("kSectionLockPitchMod", "Pitch"),
        ("kSectionLockUnisono", "Unison"), ("kSectionLockMixer", "Mixer"),
        ("kSectionLockNoiseExt", "Noise")])


def locks_panel(gx, gy, locks):
    panel(gx, gy, min(380, OX + 1390 - gx), 60 + 26 * ((len(locks) + 1) // 2), "SECTION LOCKS")
    for i, (p, lab) in enumerate(locks):
        px = gx + 16 + (i % 2) * 180
        py = gy + 36 + (i // 2) * 26
        x.elem("switch", name=lab + " Lock", paramId=p, imageId="BUTTON_LOCK_ID",
               position="%d,%d" % (px, py), valueBounds="0,0,1")
        paint("caption_left", px + 30, py + 13, lab)


def env_block(prefix, names, gx, gy, title, mode_param, trig_param, zone_base):
    panel(gx, gy, 530, 190, title)
    se_menu(mode_param, "Mode", gx + 16, gy + 40, 110, "envelopeMode")
    se_button(trig_param, "Retrig", gx + 16, gy + 80)
    pictures = ["BG_ID_ADSR", "BG_ID_ADSD2S2R", "BG_ID_ONESHOT", "BG_ID_LOOPS1S2",
                "BG_ID_LOOPALL"]
    for m in range(5):
        def zb(m=m):
            x.elem("background", imageId=pictures[m], position="%d,%d" % (gx + 130, gy + 40))
        zone("%sMode%d" % (title.split()[0].lower(), m), zone_base + m, zb)
    for i, (p, lab) in enumerate(names):
        se_knob(p, lab, gx + 285 + (i % 4) * 62, gy + 30 + (i // 4) * 78, 0, 127,
                0 if "Attack" in lab and "Level" not in lab else 64)


def filter_page():
    for n, gy in ((1, 20), (2, 230)):
        gx = OX + 20
        gy = OY + gy
        p = "kFilter%d" % n
        panel(gx, gy, 740, 190, "FILTER %d" % n)
        se_menu(p + "Type", "Type", gx + 16, gy + 40, 130, "filter1Type", default=1,
                cc=FILTER_TYPE_CC[n])
        knob_row([(p + "Cutoff", "Cutoff"), (p + "Resonance", "Resonance"),
                  ((p + "Drive", 0, 127, 0), "Drive"), ((p + "Keytrack", 0, 127, 64), "Key Track"),
                  (p + "EnvAmount", "Env Amt"), (p + "EnvVelocity", "Env Velo"),
                  (p + "Panning", "Pan")], gx + 170, gy + 26)
        se_menu(p + "ModSource", "Mod Source", gx + 16, gy + 100, 130, "oscillatorPWMSource")
        se_menu(p + "FMSource", "FM Source", gx + 16, gy + 150, 130, "oscillatorFMSource")
        se_menu(p + "PanSource", "Pan Source", gx + 500, gy + 150, 130,
                "oscillatorPWMSource")
        knob_row([(p + "ModAmount", "Mod Amt"), ((p + "FMAmount", 0, 127, 0), "FM Amt")],
                 gx + 170, gy + 110)
        se_knob(p + "PanAmount", "Pan Amt", gx + 650, gy + 110)
    gx, gy = OX + 780, OY + 20
    panel(gx, gy, 300, 190, "ROUTING & LINK")
    se_menu("kFilterRouting", "Routing", gx + 16, gy + 40, 130, "filterRouting")
    se_menu("kFilterLinkValue", "Link", gx + 16, gy + 90, 130, "filterLinkModes", default=1)
    x.elem("autooff", name="Link", paramId="kFilterLinkTrigger", imageId="BTN_18x18_ID",
           position="%d,%d" % (gx + 160, gy + 86))
    paint("caption_left", gx + 184, gy + 99, "LINK")
    x.elem("switch", name="Link On", paramId="kFilterLinkSwitch", imageId="BTN_SMALL_LED_SM_ID",
           position="%d,%d" % (gx + 220, gy + 87), valueBounds="0,0,1")
    paint("caption_left", gx + 220, gy + 84, "ACTIVE")
    gx, gy = OX + 780, OY + 230
    panel(gx, gy, 300, 190, "AMPLIFIER")
    se_knob("kAmpLevel", "Volume", gx + 16, gy + 30, 0, 127, 100)
    se_knob("kAmpLevelVelocity", "Velocity", gx + 88, gy + 30)
    se_knob("kAmpModAmount", "Mod Amt", gx + 160, gy + 30)
    se_menu("kAmpModSource", "Mod Source", gx + 16, gy + 140, 130, "oscillatorPWMSource")
    locks_panel(OX + 1100, OY + 20, [
        ("kSectionLockFilter1", "Filter 1"), ("kSectionLockFilter2", "Filter 2"),
        ("kSectionLockAmp", "Amp"), ("kSectionLockFilterEnv", "Filt Env"),
        ("kSectionLockAmpEnv", "Amp Env"), ("kSectionLockEnv3", "Env 3"),
        ("kSectionLockEnv4", "Env 4")])
    envs = [("kFilterEnv", "FILTER ENV", "kFilterEnvMode", "kFilterEnvTrigger",
             ["kFilterEnvAttack", "kFilterAttackLevel", "kFilterEnvDecay", "kFilterEnvSustain",
              "kFilterEnvDecay2", "kFilterEnvSustain2", "kFilterEnvRelease"]),
            ("kAmpEnv", "AMP ENV", "kAmpEnvMode", "kAmpEnvTrigger",
             ["kAmpEnvAttack", "kAmpAttackLevel", "kAmpEnvDecay", "kAmpEnvSustain",
              "kAmpEnvDecay2", "kAmpEnvSustain2", "kAmpEnvRelease"]),
            ("kEnv3", "ENV 3", "kEnvelope3Mode", "kEnv3Trigger",
             ["kEnv3Attack", "kEnv3AttackLevel", "kEnv3Decay", "kEnv3Sustain", "kEnv3Decay2",
              "kEnv3Sustain2", "kEnv3Release"]),
            ("kEnv4", "ENV 4", "kEnvelope4Mode", "kEnv4Trigger",
             ["kEnv4Attack", "kEnv4AttackLevel", "kEnv4Decay", "kEnv4Sustain", "kEnv4Decay2",
              "kEnv4Sustain2", "kEnv4Release"])]
    labels = ["Attack", "Att Level", "Decay", "Sustain", "Decay 2", "Sustain 2", "Release"]
    for i, (pre, title, mode, trig, params) in enumerate(envs):
        gx = OX + 20 + (i % 2) * 540
        gy = OY + 440
        if i >= 2:
            continue
        env_block(pre, list(zip(params, labels)), gx, gy, title, mode, trig, 10 + 10 * i)
    # envelopes 3 and 4 share the lower right: compact rows
    for i, (pre, title, mode, trig, params) in enumerate(envs[2:], start=2):
        gx = OX + 1100
        gy = OY + 220 + (i - 2) * 210
        panel(gx, gy, 290, 200, title)
        se_menu(mode, "Mode", gx + 16, gy + 36, 110, "envelopeMode")
        se_button(trig, "Retrig", gx + 150, gy + 30)
        # numbered zones per mode, as the envelope page switch expects; these compact panels
        # show every stage whatever the mode
        for m in range(5):
            zone("env%dMode%d" % (i + 1, m), 10 * (i + 1) + m, lambda: None)
        for j, p in enumerate(params):
            se_knob(p, labels[j], gx + 20 + (j % 4) * 68, gy + 66 + (j // 4) * 64, 0, 127, 64,
                    knob=KNOB_SMALL, caption=False)
            paint("caption", gx + 20 + (j % 4) * 68 + 15, gy + 66 + (j // 4) * 64 + 42,
                  labels[j])


def lfo_page():
    for n in (1, 2, 3):
        gx, gy = OX + 20 + (n - 1) * 300, OY + 20
        p = "kLFO%d" % n
        panel(gx, gy, 290, 250, "LFO %d" % n)
        se_menu(p + "Shape", "Shape", gx + 16, gy + 40, 120, "lfoShape")
        se_menu(p + "Startphase", "Phase", gx + 150, gy + 40, 120, "startPhase")

        def speed_zone(p=p, gx=gx, gy=gy):
            se_knob(p + "Speed", "Speed", gx + 16, gy + 70)
        zone("lfo%dSpeed" % n, 10 * n, speed_zone)
        knob_row([((p + "Delay", 0, 127, 0), "Delay"), (p + "Fade", "Fade"),
                  (p + "Keytrack", "Key Track")], gx + 80, gy + 70)
        se_button(p + "SyncOnOff", "Key Sync", gx + 16, gy + 150)
        se_button(p + "Clock", "Clocked", gx + 150, gy + 150)
    gx, gy = OX + 920, OY + 20
    panel(gx, gy, 470, 250, "MODIFIERS")
    for n in range(1, 5):
        p = "kModifier%d" % n
        py = gy + 40 + (n - 1) * 50
        se_menu(p + "Source1", "Src A %d" % n, gx + 16, py, 100, "standardMatrixSources")
        se_menu(p + "Source2", "Src B", gx + 126, py, 100, "modifierMatrixSources")
        se_menu(p + "SourceType", "Op", gx + 236, py, 100, "modifierOperators")
        se_knob(p + "SourceAmount", "", gx + 356, py - 12, 0, 127, 64, knob=KNOB_SMALL,
                caption=False)
    for kind, gx, title, src_list, dst_list in (
            ("Fast", OX + 20, "FAST MATRIX", "oscillatorPWMSource", "fastModMatrixDestinations"),
            ("Standard", OX + 470, "STANDARD MATRIX", "standardMatrixSources",
             "standardMatrixDestinations")):
        gy = OY + 290
        panel(gx, gy, 440, 340, title)
        for n in range(1, 9):
            p = "kMod%d%s" % (n, kind)
            py = gy + 40 + (n - 1) * 36
            se_menu(p + "Source", "Slot %d" % n, gx + 16, py, 140, src_list)
            se_menu(p + "Destination", "", gx + 170, py, 160, dst_list)
            se_knob(p + "Amount", "", gx + 350, py - 10, 0, 127, 64, knob=KNOB_SMALL,
                    caption=False)
    locks = [("kSectionLockLFO%d" % n, "LFO %d" % n) for n in (1, 2, 3)]
    locks += [("kSectionLockMod%d" % n, "Modif %d" % n) for n in range(1, 5)]
    locks += [("kSectionLockM%dF" % n, "Fast %d" % n) for n in range(1, 9)]
    locks += [("kSectionLockM%dS" % n, "Std %d" % n) for n in range(1, 9)]
    gx, gy = OX + 920, OY + 290
    panel(gx, gy, 470, 340, "SECTION LOCKS")
    for i, (p, lab) in enumerate(locks):
        px = gx + 16 + (i % 3) * 150
        py = gy + 36 + (i // 3) * 34
        x.elem("switch", name=lab + " Lock", paramId=p, imageId="BUTTON_LOCK_ID",
               position="%d,%d" % (px, py), valueBounds="0,0,1")
        paint("caption_left", px + 30, py + 13, lab)


FX1_TYPES = [
    [],
    [("kFX1ChorusSpeed", "Speed"), ("kFX1ChorusDepth", "Depth"), ("kFX1ChorusDelay", "Delay")],
    [("kFX1FlangerSpeed", "Speed"), ("kFX1FlangerDepht", "Depth"),
     ("kFX1FlangerFeedBack", "Feedback"), ("kFX1FlangerPolarity", "b:Polarity")],
    [("kFX1PhaserSpeed", "Speed"), ("kFX1PhaserDepth", "Depth"), ("kFX1PhaserCenter", "Center"),
     ("kFX1PhaserSpacing", "Spacing"), ("kFX1PhaserFeedback", "Feedback"),
     ("kFX1PhaserPolarity", "b:Polarity")],
    [("kFX1OverdriveDrive", "Drive"), ("kFX1OverdrivePostGain", "Gain"),
     ("kFX1OverdriveCutoff", "Cutoff")],
    [("kFX1FiveFXSpeed", "Speed"), ("kFX1FiveFXDepth", "Depth"), ("kFX1FiveFXDelay", "Delay"),
     ("kFX1FiveFXChorusDelay", "Ch Delay"), ("kFX1FiveFXSampleHold", "S&H Rate"),
     ("kFX1FiveFXOverdrive", "Drive"), ("kFX1FiveFXSource", "m:fxInputList"),
     ("kFX1FiveFXRingMod", "Ring Mod")],
    [("kFX1VocoderBands", "Bands"), ("kFX1VocoderAnalysisSignal", "m:fxInputList"),
     ("kFX1VocoderAnalysisLoFrq", "Lo Freq"),
     ("kFX1VocoderAnalysisHiFrq", "Hi Freq"),
     ("kFX1VocoderAnalysisSOffset", "S Offset"), ("kFX1VocoderAnalysisHiOffset", "Hi Offset"),
     ("kFX1VocoderBandwidth", "Bandwidth"), ("kFX1VocoderResonance", "Resonance"),
     ("kFX1VocoderAttack", "Attack"), ("kFX1VocoderDecay", "Decay"),
     ("kFX1VocoderEQLowBandLevel", "EQ Low"), ("kFX1VocoderEQMiddleFreq", "EQ Mid F"),
     ("kFX1VocoderEQMiddleLevel", "EQ Mid"), ("kFX1VocoderEQHighBandLevel", "EQ High")],
]


def fx2_types():
    t = [[]]
    for e in FX1_TYPES[1:]:
        t.append([(p.replace("kFX1", "kFX2"), lab) for p, lab in e])
    t.append([("kFX2DelayTempo", "Tempo"), ("kFX2DelayFeedback", "Feedback"),
              ("kFX2DelayCutoff", "Cutoff"), ("kFX2DelayPolarity", "b:Polarity"),
              ("kFX2DelayAutoPan", "b:Auto Pan"), ("kFX2DelayClocked", "b:Clocked")])
    t.append([("kFX2ReverbSize", "Size"), ("kFX2ReverbShape", "Shape"),
              ("kFX2ReverbDecay", "Decay"), ("kFX2ReverbPredelay", "Predelay"),
              ("kFX2ReverbLowppass", "Lowpass"), ("kFX2ReverbHighPass", "Highpass"),
              ("kFX2ReverbDiffusion", "Diffusion"), ("kFX2ReverbDamping", "Damping")])
    d = ["Delay", "Feedback", "LFE LP", "Input HP", "FSLV", "DelayML", "FSRV", "DelayMR",
         "CntrSV", "DelayS2L", "RearSLV", "S1L", "RearSRV", "S1R"]
    free = ["kFX251DelayDelay", "kFX251DelayFeedback", "kFX251DelayLFELP",
            "kFX251DelayInputHP", "kFX251DelayFSLV", "kFX251DelayDelayML", "kFX251DelayFSRV",
            "kFX251DelayDelayMR", "kFX251DelayCntrSV", "kFX251DelayDelayS2L",
            "kFX251DelayRearSLV", "kFX251DelayS1L", "kFX251DelayRearSRV", "kFX251DelayS1R"]
    clocked = ["kFX251DelayClockedDelay", "kFX251DelayClockedFeedback",
               "kFX251DelayClockedLFELP", "kFX251DelayClockedInputHP",
               "kFX251DelayClockedFSLV", "kFX251DelayClockedDelayML",
               "kFX251DelayClockedFSRV", "kFX251DelayClockedDelayMR",
               "kFX251DelayClockedCntrSV", "kFX251DelayClockedDelayS2L",
               "kFX251DelayClockedRearSLV", "kFX251DelayClockedDelayS1L",
               "kFX251DelayClockedRearSRV", "kFX251DelayClockedDelayS1R"]
    t.append(list(zip(free, d)))
    t.append(list(zip(clocked, d)))
    return t


# The delay length knob (free or clocked layer) follows the delay's six knobs in the effect 2
# delay picture.
DELAY_LEN_X = BODY_X + 640 + 10 + 16 + 6 * 70
DELAY_LEN_Y = BODY_Y + 20 + 64 + 44

FX_PICTURES = ["EFFECTS_BYPASS_ID", "EFFECTS_CHORUS_ID", "EFFECTS_FLANGER_ID",
               "EFFECTS_PHASER_ID", "EFFECTS_OVERDRIVE_ID", "EFFECTS_FIVEFX_ID",
               "EFFECTS_VOCODER_ID", "EFFECTS_DELAY_ID", "EFFECTS_REVERB_ID",
               "EFFECTS_51DELAYS_ID", "EFFECTS_51DELAYS_ID"]


FX_PIC_W, FX_PIC_H = 580, 226


def fx_zone(t, params, gx, gy):
    """One effect type: its picture (which carries the captions) and its controls."""
    px, py = gx + 10, gy + 64
    x.elem("background", imageId=FX_PICTURES[t], position="%d,%d" % (px, py))
    begin_section("picture", FX_PICTURES[t], px, py, FX_PIC_W, FX_PIC_H)
    fx_controls(params, px, py)
    if t == 7:  # the delay length sits in the free and clocked delay layers, same place
        paint("caption", DELAY_LEN_X + 15, DELAY_LEN_Y + 41, "Length")
    end_section()


def fx_controls(params, gx, gy):
    """Effect-type parameters are SysEx knobs: their reverse lookup tells the effect types
    apart (they share the slot bytes). Only the two input selectors, which the lookup does not
    key by effect type, are menus; "b:" marks two-state knobs."""
    col = 0
    row = 0
    for p, lab in params:
        px = gx + 16 + col * 70
        py = gy + 44 + row * 66
        if lab.startswith("m:"):
            lst = lab[2:]
            se_menu(p, lst_caption(lst), px, py + 14, 120, lst)
            col += 2
        elif lab.startswith("b:"):
            se_knob(p, lab[2:], px, py, 0, 1, 0, knob=KNOB_SMALL)
            if p in TRIGGERS:
                trigger(p, lab[2:], px + KNOB_SMALL_SIZE + 4, py + 6)
            col += 1
        else:
            se_knob(p, lab, px, py, 0, 127, 64, knob=KNOB_SMALL)
            col += 1
        if col >= 8:
            col = 0
            row += 1


def lst_caption(lst):
    return {"positiveNegative": "Polarity", "sampleRate": "S&H Rate", "fxInputList": "Input",
            "analysisFrequency": "Frequency", "tempoValues": "Tempo", "reverbSize": "Size",
            "preDelay": "Predelay"}.get(lst, lst)


def fx_page():
    gx, gy = OX + 20, OY + 20
    panel(gx, gy, FX_PIC_W + 20, 300, "EFFECT 1")
    se_menu("kEffect1Mode", "Type", gx + 16, gy + 40, 120, "fx1Mode")
    se_knob("kEffect1Mix", "Mix", gx + 250, gy + 28, 0, 127, 0, knob=KNOB_SMALL, caption=False)
    paint("caption_left", gx + 286, gy + 48, "Mix")
    for t, params in enumerate(FX1_TYPES):
        def z(t=t, params=params):
            fx_zone(t, params, gx, gy)
        zone("fx1Type%d" % t, 10 + t, z)
    gx, gy = OX + 640, OY + 20
    panel(gx, gy, FX_PIC_W + 20, 300, "EFFECT 2")  # the effect pictures fill it, as effect 1's
    se_menu("kEffect2Mode", "Type", gx + 16, gy + 40, 120, "fx2Mode")
    se_knob("kEffect2Mix", "Mix", gx + 250, gy + 28, 0, 127, 0, knob=KNOB_SMALL, caption=False)
    paint("caption_left", gx + 286, gy + 48, "Mix")
    for t, params in enumerate(fx2_types()):
        def z(t=t, params=params):
            fx_zone(t, [q for q in params if q[0] != "kFX2DelayLength"], gx, gy)
        zone("fx2Type%d" % t, 300 + t, z)
    # arpeggiator
    gx, gy = OX + 20, OY + 340
    panel(gx, gy, 1370, 290, "ARPEGGIATOR")
    arp_menus = [("kArpMode", "arpMode"), ("kArpPattern", "arpPattern"),
                 ("kArpClock", "arpClock"), ("kArpDirection", "arpDirection"),
                 ("kArpSortOrder", "arpSortOrder"), ("kArpVelocityMode", "arpVeloMode"),
                 ("kArpNoteLength", "arpNoteLength")]
    caps = ["Mode", "Pattern", "Clock", "Direction", "Order", "Velocity", "Length"]
    for i, (p, lst) in enumerate(arp_menus):
        se_menu(p, caps[i], gx + 16 + (i % 2) * 120, gy + 40 + (i // 2) * 36, 108, lst)
    se_menu("kArpOctRange", "Octaves", gx + 16, gy + 190, 108, None, number_range=(1, 4))
    se_menu("kArpMaxNotes", "Max Notes", gx + 136, gy + 190, 108, None, number_range=(1, 16))
    se_menu("kArpPatternLength", "Pat Length", gx + 16, gy + 226, 108, None,
            number_range=(1, 32))
    se_knob("kArpTimeFactor", "Swing", gx + 150, gy + 210, 0, 127, 0, knob=KNOB_SMALL)
    se_button("kArpSameNoteOverlap", "Overlap", gx + 200, gy + 226)
    se_button("kArpPatternReset", "Reset", gx + 200, gy + 252)
    for s in range(1, 17):
        sx = gx + 310 + (s - 1) * 66
        sy = gy + 36
        p = "kArpPattern%02d" % s
        paint("caption", sx + 30, sy - 6, "%d" % s)
        se_menu(p + "Step", "", sx, sy, 60, "arpStepDisplay")
        se_menu(p + "Accent", "", sx, sy + 36, 60, "arpAccent")
        se_menu(p + "Timing", "", sx, sy + 72, 60, "arpTiming")
        se_menu(p + "StepLen", "", sx, sy + 108, 60, "arpStepLength")
        se_button(p + "Glide", "", sx + 14, sy + 140)
    for i, lab in enumerate(["Step", "Accent", "Timing", "Length", "Glide"]):
        paint("caption_left", gx + 256, gy + 46 + i * 36 + (6 if i == 4 else 0), lab)
    for i, (p, lab) in enumerate([("kSectionLockFX1", "FX 1"), ("kSectionLockFX2", "FX 2"),
                                  ("kSectionLockArp", "Arp")]):
        px = gx + 330 + i * 120
        py = gy + 236
        x.elem("switch", name=lab + " Lock", paramId=p, imageId="BUTTON_LOCK_ID",
               position="%d,%d" % (px, py), valueBounds="0,0,1")
        paint("caption_left", px + 30, py + 13, lab + " LOCK")


part_page("oscillators", "OSCILLATORS_ID", "oscPart", osc_page, 2)
part_page("filtersEnvelopes", "FILTERS_ENV_ID", "filterPart", filter_page, 3)
part_page("lfoModMatrix", "LFO_MODMATRIX_ID", "lfoPart", lfo_page, 4)
part_page("effectsArp", "EFFECTS_ID", "fxPart", fx_page, 5)
x.close("layer")   # root

# ---- delay length variants: a free and a clocked layer, one child per part -----------------
for name, param in (("delayFreeLayer", "kFX2DelayLength"),
                    ("delayClockedLayer", "kFX2DelaySyncedLength")):
    begin_section("none", name, 0, 0, 0, 0)  # its field and caption are in the delay picture
    x.open("layer", name=name, id=0)
    x.open("multilayer", name=name + "Part", create=16)
    x.open("layer", name=name + "Zone", id=307)
    se_knob(param, "Length", DELAY_LEN_X, DELAY_LEN_Y, 0, 127, 64, knob=KNOB_SMALL,
            caption=False)
    x.close("layer")
    x.close("multilayer")
    x.close("layer")
    end_section()

# ---- filter pictures ----------------------------------------------------------------------
for n in (1, 2):
    for t, img in (("LP", "BG_ID_FLP"), ("BP", "BG_ID_FBP"), ("HP", "BG_ID_FHP"),
                   ("Notch", "BG_ID_FNOTCH"), ("CombMinus", "BG_ID_FCOMB1"),
                   ("CombPlus", "BG_ID_FCOMB2")):
        x.open("layer", name="filter%d%s" % (n, t), id=0)
        x.elem("background", imageId=img,
               position="%d,%d" % (OX + 20 + 380, OY + (20 if n == 1 else 230) + 96))
        x.close("layer")

def settings_toggle(px, py):
    """Switches between the multi parts and the global settings; closes the page's layer."""
    x.elem("switch", name="Global Settings", paramId="kMultiSettings",
           imageId="BTN_MULTISETTINGS_ID", position="%d,%d" % (px, py), valueBounds="0,0,1")
    x.close("layer")
    end_section()


# ---- multi pages --------------------------------------------------------------------------
x.open("layer", name="multiModeSettingsPage1", id=0)
x.elem("background", imageId="MULTI_SETTINGS_BG_ID", position="%d,%d" % (BODY_X, BODY_Y))
begin_section("page", "MULTI_SETTINGS_BG_ID", BODY_X, BODY_Y, W - BODY_X - 6, 636)
rows = [("kMultiPartStatus", "Status", "menu", "partStatus"),
        ("kMultiPartMIDICh", "MIDI Ch", "menu", "midiChannelList"),
        ("kMultiPartBank", "Bank", "menu", "bankList"),
        ("kMultiPartPatch", "Program", "num", (0, 127)),
        ("kMultiPartOutput", "Output", "menu", "outputList"),
        ("kMultiPartKeyLow", "Key Low", "menu", "keyList"),
        ("kMultiPartKeyHigh", "Key High", "menu", "keyList"),
        ("kMultiPartLevel", "Volume", "knob", 100),
        ("kMultiPartPanning", "Pan", "knob", 64),
        ("kMultiPartDetune", "Detune", "knob", 64),
        ("kMultiPartTranspose", "Transp", "slider", (0, 96, 48, 16)),
        ("kMultiPartVeloLow", "Velo Lo", "slider", (0, 126, 0, 1)),
        ("kMultiPartVeloHigh", "Velo Hi", "slider", (0, 126, 126, 1))]
ROW0, ROWH = BODY_Y + 46, 36
panel(BODY_X + 10, BODY_Y + 10, 1390, 540, "MULTI PARTS")
for r, (p, lab, kind, arg) in enumerate(rows):
    paint("caption_left", BODY_X + 20, ROW0 + 10 + r * ROWH + (8 if kind == "knob" else 0),
          lab.upper())
paint("caption_left", BODY_X + 20, ROW0 + 10 + 13 * ROWH + 8, "LOCK")
for k in range(16):
    cx = BODY_X + 100 + k * 81
    # baseline 10 pixels under the panel's 20-pixel title bar: at the small size the capitals
    # still clear it
    paint("caption", cx + 36, BODY_Y + 40, "PART %d" % (k + 1))
    for r, (p, lab, kind, arg) in enumerate(rows):
        cy = ROW0 + r * ROWH
        idx = 32 + 22 * k + MULTI_PART[p]
        pid = "%s+%d" % (p, k) if k else p
        name = "[%d] %s" % (k + 1, lab)
        t = multi_tmpl(idx)
        if kind in ("menu", "num"):
            if kind == "menu":
                n = len(VALUE_LISTS[arg])
                extra = {"valueList": arg}
            else:
                n = arg[1] - arg[0] + 1
                extra = {"valueDisplay": "%d:%d" % arg}
            default = {"kMultiPartStatus": 1, "kMultiPartMIDICh": k + 2,
                       "kMultiPartKeyHigh": 127}.get(p, 0)
            x.elem("menucontrol", type="seMenu", name=name, paramId=pid, channel=k + 1,
                   position=menu_position(cx, cy, 72), valueBounds="%d,0,%d,0" % (default, n),
                   sysexIndex=t, changingByte=7, **extra)
            paint("field", cx - 2, cy - 2, 76, MENU_H + 4)
        elif kind == "knob":
            x.elem("knobcontrol", type="seKnob", name=name, paramId=pid, channel=k + 1,
                   imageId=KNOB_SMALL, position="%d,%d,0" % (cx + 21, cy - 4),
                   valueBounds="%d,0,127,1" % arg, sysexIndex=t, changingByte=7)
        else:
            lo, hi, d, off = arg
            x.elem("slidercontrol", type="seSliderHor", name=name, paramId=pid, channel=k + 1,
                   imageId="SLIDER_VAAKA", position="%d,%d,0" % (cx, cy), length=74,
                   valueBounds="%d,%d,%d,1" % (d, lo, hi), msgZeroVal=off, sysexIndex=t,
                   changingByte=7)
            paint("slot", cx, cy + 4, 74, 6)
    x.elem("switch", name="[%d] Part Lock" % (k + 1), paramId="kPartLock+%d" % k if k else "kPartLock",
           imageId="BUTTON_LOCK_ID", position="%d,%d" % (cx + 24, ROW0 + 13 * ROWH),
           valueBounds="0,0,1")
# multi common
gx, gy = BODY_X + 10, BODY_Y + 560
panel(gx, gy, 1390, 70, "MULTI")
gy += 18
x.elem("knobcontrol", type="seKnob", name="Master Volume", paramId="kMultiMasterVolume",
       imageId=KNOB_SMALL, position="%d,%d,0" % (gx + 20, gy + 8), valueBounds="100,0,127,1",
       sysexIndex=multi_tmpl(0), changingByte=7)
paint("caption_left", gx + 56, gy + 28, "MASTER")
for i, p in enumerate(("kMultiControlW", "kMultiControlX", "kMultiControlY", "kMultiControlZ")):
    x.elem("menucontrol", type="seMenu", name="Multi Ctrl " + p[-1], paramId=p,
           position=menu_position(gx + 200 + i * 150, gy + 20, 100),
           valueBounds="0,0,%d,0" % len(VALUE_LISTS["controlList"]), valueList="controlList",
           sysexIndex=multi_tmpl(MULTI_COMMON[p]), changingByte=7)
    field(gx + 200 + i * 150, gy + 20, 100, "CTRL " + p[-1])
x.elem("menucontrol", type="seMenu", name="Tempo", paramId="kMultiTempo",
       position=menu_position(gx + 820, gy + 20, 80), valueBounds="55,0,128,0",
       valueList="tempoValues", sysexIndex=multi_tmpl(5), changingByte=7)
field(gx + 820, gy + 20, 80, "TEMPO")
# On: the tempo follows the host's instead of the multi's own (the editor starts with it on).
x.elem("switch", name="Host Tempo", paramId="kOverrideTempo", imageId="BTN_CHECKBOX_ID",
       position="%d,%d" % (gx + 910, gy + 18), valueBounds="1,0,1")
paint("caption_left", gx + 910, gy + 14, "HOST")
x.elem("dropMenu", type="nameSelection", name="Multi Name", paramId="kMultiName",
       bounds="%d,%d,160,16" % (gx + 960, gy + 18), nameLen=16)
field(gx + 960, gy + 18, 160, "NAME", 16)
settings_toggle(gx + 1210, gy + 12)

x.open("layer", name="multiModeSettingsPage2", id=0)
x.elem("background", imageId="MULTI_SETTINGS_BG2_ID", position="%d,%d" % (BODY_X, BODY_Y))
begin_section("page", "MULTI_SETTINGS_BG2_ID", BODY_X, BODY_Y, W - BODY_X - 6, 636)
panel(BODY_X + 10, BODY_Y + 10, 1390, 560, "GLOBAL SETTINGS")
glist = [("kGlobalMidiChannel", "MIDI Channel", "globalChannel"),
         ("kGlobalSysExID", "Device ID", (0, 127)),
         ("kGlobalClock", "Clock", "globalClock"),
         ("kGlobalControlSend", "Ctrl Send", "controllerSend"),
         ("kGlobalReceive", "Ctrl Receive", "controllerReceive"),
         ("kGlobalRxProgramChange", "Prog Rx", "programChange"),
         ("kGlobalTxProgramChange", "Prog Tx", "programChange"),
         ("kGlobalArpSend", "Arp Send", "onOff"),
         ("kGlobalLocalControl", "Local Ctrl", "onOff"),
         ("kGlobalKeyVeloCurve", "Velo Curve", "keyVeloOnCurve"),
         ("kGlobalReleaseCurve", "Release Crv", "keyVeloOffCurve"),
         ("kGlobalPressureCurve", "Press Curve", "keyPressureCurve"),
         ("kGlobalPedalController", "Pedal Ctrl", "pedalCvController"),
         ("kGlobalInputGain", "Input Gain", "globalInputGain"),
         ("kGlobalMixInputTo", "Mix In To", "globalMixInTo"),
         ("kGlobalPopupTime", "Popup Time", "globalPopupTime"),
         ("kGlobalFX2Link", "FX 2 Link", "fxGlobalLink"),
         ("kGlobalControlW", "Ctrl W", "controlList"),
         ("kGlobalControlX", "Ctrl X", "controlList"),
         ("kGlobalControlY", "Ctrl Y", "controlList"),
         ("kGlobalControlZ", "Ctrl Z", "controlList")]
for i, (p, lab, lst) in enumerate(glist):
    px = BODY_X + 40 + (i % 4) * 240
    py = BODY_Y + 70 + (i // 4) * 50
    if isinstance(lst, tuple):
        n = lst[1] - lst[0] + 1
        extra = {"valueDisplay": "%d:%d" % lst}
    else:
        n = len(VALUE_LISTS[lst])
        extra = {"valueList": lst}
    default = 16 if p == "kGlobalSysExID" else 0
    x.elem("menucontrol", type="seMenu", name=lab, paramId=p, position=menu_position(px, py, 150),
           valueBounds="%d,0,%d,0" % (default, n), sysexIndex=global_tmpl(GLOBAL[p]),
           changingByte=7, **extra)
    field(px, py, 150, lab.upper())
    if p in TRIGGERS:
        trigger(p, lab, px + 158, py - 3)
gk = [("kGlobalDisplayContrast", "Contrast", 64), ("kGlobalInputMix", "Input Mix", 0),
      ("kGlobalPedalOffset", "Pedal Offs", 64), ("kGlobalPedalGain", "Pedal Gain", 64),
      ("kGlobalPedalCurve", "Pedal Curve", 64)]
for i, (p, lab, d) in enumerate(gk):
    px = BODY_X + 1020 + (i % 3) * 120
    py = BODY_Y + 60 + (i // 3) * 90
    x.elem("knobcontrol", type="seKnob", name=lab, paramId=p, imageId=KNOB,
           position="%d,%d,0" % (px, py), valueBounds="%d,0,127,1" % d,
           sysexIndex=global_tmpl(GLOBAL[p]), changingByte=7)
    paint("caption", px + KNOB_SIZE // 2, py + KNOB_SIZE + 11, lab)
for i, (p, lab, hi, d, off) in enumerate((("kGlobalTuning", "Tuning", 73, 10, 54),
                                          ("kGlobalTranspose", "Transpose", 24, 12, 52))):
    px = BODY_X + 1020
    py = BODY_Y + 280 + i * 50
    x.elem("slidercontrol", type="seSliderHor", name=lab, paramId=p, imageId="SLIDER_VAAKA",
           position="%d,%d,0" % (px, py), length=214, valueBounds="%d,0,%d,1" % (d, hi),
           msgZeroVal=off, sysexIndex=global_tmpl(GLOBAL[p]), changingByte=7)
    paint("slot", px, py + 4, 214, 6)
    paint("caption_left", px, py - 5, lab.upper())
x.elem("switch", name="Lock Global", paramId="kSectionLockGlobal", imageId="BUTTON_LOCK_ID",
       position="%d,%d" % (BODY_X + 1020, BODY_Y + 400), valueBounds="0,0,1")
paint("caption_left", BODY_X + 1050, BODY_Y + 413, "GLOBAL LOCK")
x.elem("dropMenu", type="dropSelection", name="Interface Size", paramId="kUserInterfaceSize",
       bounds="%d,%d,150,16" % (BODY_X + 1020, BODY_Y + 460), valueBounds="1,0,3",
       valueList="interfaceSize")
field(BODY_X + 1020, BODY_Y + 460, 150, "SIZE", 16)
x.elem("dropMenu", type="dropSelection", name="Color Scheme", paramId="kUserInterfaceStyle",
       bounds="%d,%d,150,16" % (BODY_X + 1200, BODY_Y + 460), valueBounds="0,0,3",
       valueList="interfaceStyle")
field(BODY_X + 1200, BODY_Y + 460, 150, "COLOUR", 16)
settings_toggle(BODY_X + 1220, BODY_Y + 590)

# ---- mini mixer: activity LEDs beside the part buttons -------------------------------------
x.open("layer", name="miniMixer", id=0)
x.elem("background", imageId="QUICK_MIXER_ID", position="%d,%d" % (67, BODY_Y))
for k in range(16):
    pid = "kMIDILed+%d" % k if k else "kMIDILed"
    x.elem("switch", name="[%d] MIDI" % (k + 1), paramId=pid, imageId="LED_MIXER_MIDI_ID",
           position="%d,%d" % (69, BODY_Y + k * 40 + 15), valueBounds="0,0,1")
x.close("layer")

# ---- bank and program fields, one per part and one for the multi ---------------------------
for k in range(17):
    name = "bankAndProgram%02d" % (k + 1) if k < 16 else "bankAndProgramMulti"
    x.open("layer", name=name, id=0)
    if k < 16:
        pid = "kPatchName+%d" % k if k else "kPatchName"
        x.elem("dropMenu", type="nameSelection", name="[%d] Patch Name" % (k + 1), paramId=pid,
               bounds="978,64,156,16", nameLen=16)
        x.elem("autooff", name="[%d] Program Up" % (k + 1),
               paramId="kPatchUp+%d" % k if k else "kPatchUp", imageId="BUTTON_PATCHUP_ID",
               position="1234,58")
        x.elem("autooff", name="[%d] Program Down" % (k + 1),
               paramId="kPatchDown+%d" % k if k else "kPatchDown", imageId="BUTTON_PATCHDW_ID",
               position="1234,73")
    else:
        x.elem("dropMenu", type="nameSelection", name="Multi Name", paramId="kMultiName",
               bounds="978,64,156,16", nameLen=16)
    x.close("layer")

# ---- librarian overlays --------------------------------------------------------------------
def overlay_layer(name, builder):
    x.open("layer", name=name, id=0, overlay="true")
    builder()
    x.close("layer")


overlay_layer("saveChangesLayer", lambda: x.elem(
    "autooff", name="Overwrite", paramId="kOverwriteBank", imageId="BUTTON_BANK_OVERWRITE_ID",
    position="920,186"))
overlay_layer("discardChangesLayerRight", lambda: x.elem(
    "autooff", name="Discard", paramId="kDiscardBankData", imageId="BUTTON_LIB_DISCARD_ID",
    position="1050,186"))
overlay_layer("keepBankOpenLayer", lambda: x.elem(
    "background", imageId="BTN_18x18_ID", position="1050,186"))
overlay_layer("patchRename", lambda: (
    x.elem("background", imageId="BG_RENAME_ID", position="560,300"),
    x.elem("dropMenu", type="nameSelection", name="Rename", paramId="kPatchRename",
           bounds="580,330,260,18", nameLen=16)))
overlay_layer("categoryLimit", lambda: x.elem(
    "background", imageId="BG_ID_CATEGORY_FILTER", position="820,461"))
overlay_layer("searchField", lambda: (
    x.elem("background", imageId="BG_SEARCH_FIELD_ID", position="820,458"),
    x.elem("dropMenu", type="nameSelection", name="Search", paramId="kPatchSearchString",
           bounds="830,461,200,16", nameLen=24)))
overlay_layer("effect1Overlayer", lambda: x.elem(
    "background", imageId="BG_FX1OVERLAYER", position="%d,%d" % (OX + 20, OY + 20)))
overlay_layer("effect2Overlayer", lambda: x.elem(
    "background", imageId="BG_FX2OVERLAYER", position="%d,%d" % (OX + 640, OY + 20)))
overlay_layer("aboutWindow", lambda: (
    x.elem("background", imageId="BG_ABOUT_ID", position="450,180"),
    x.elem("autooff", name="Close About", paramId="kExitAboutWindow",
           imageId="BTN_EXIT_ABOUT_ID", position="1010,190")))
overlay_layer("firstRunNotification", lambda: (
    x.elem("background", imageId="BG_FIRST_RUN_ID", position="450,180"),
    x.elem("autooff", name="First Run Done", paramId="kFirstRunExit",
           imageId="BTN_EXIT_FIRST_RUN_ID", position="1010,190")))
overlay_layer("bankPatchConflictWindow", lambda: x.elem(
    "background", imageId="BG_PATCH_CONFLICT_ID", position="450,240"))


def midi_filters():
    x.elem("background", imageId="BG_ID_MIDI_FILTERS", position="450,150")
    begin_section("page", "BG_ID_MIDI_FILTERS", 450, 150, 600, 400)
    panel(450, 150, 600, 400, "MIDI FILTERS AND ROUTING")
    kinds = [("CC", "Control Change"), ("PC", "Program Change"), ("Note", "Notes"),
             ("PP", "Pitch Bend"), ("PA", "Poly Pressure"), ("CA", "Channel Pressure"),
             ("SE", "SysEx")]
    for col, (src, title) in enumerate((("DAW", "FROM THE HOST"), ("HW", "FROM THE DORVIK"))):
        cx = 470 + col * 190
        paint("caption_left", cx, 200, title)
        for r, (kd, label) in enumerate(kinds):
            p = "kMIDIFilter%s%sPassThrough" % (src, kd)
            py = 214 + r * 34
            x.elem("switch", name="%s %s" % (src, kd), paramId=p, imageId="BTN_CHECKBOX_ID",
                   position="%d,%d" % (cx, py), valueBounds="1,0,1")
            paint("caption_left", cx + 26, py + 13, label)
    paint("caption_left", 850, 200, "ROUTING")
    routing = [("kMIDIFilterTrackIncomingMIDI", "Show activity", "1,0,1"),
               ("kMIDIFilterDirectToHardware", "Direct to Dorvik", "1,0,1"),
               ("kMIDIFilterToDAWBuffer", "Timed by host", "0,0,1"),
               ("kMasterKeyboard", "Master keyboard", "0,0,1"),
               ("kDisableMIDIFromSynth", "Ignore the Dorvik", "0,0,1")]
    for r, (p, label, vb) in enumerate(routing):
        py = 214 + r * 34
        x.elem("switch", name=label, paramId=p, imageId="BTN_CHECKBOX_ID",
               position="%d,%d" % (850, py), valueBounds=vb)
        paint("caption_left", 876, py + 13, label)
    x.elem("multiFx", type="Knob", name="Host Offset", paramId="kAdjustDAWOffset",
           imageId=KNOB_SMALL, position="850,400", valueBounds="0,0,64,1")
    paint("caption_left", 890, 420, "Host offset")
    end_section()


overlay_layer("midiFilterSettings", midi_filters)
x.close("uiconfig")

with open(os.path.join(OUT, "uiconfig.xml"), "w") as f:
    f.write("\n".join(x.lines) + "\n")

with open(os.path.join(OUT, "sysex.xml"), "w") as f:
    f.write('<?xml version="1.0" encoding="UTF-8"?>\n<sysexlist>\n')
    for t in templates:
        f.write("  <sysex><values><value>%s</value></values></sysex>\n" % t)
    f.write("</sysexlist>\n")

with open(os.path.join(OUT, "layout.txt"), "w") as f:
    for header, lines, _ in sections:
        f.write(header + "\n")
        for line in lines:
            f.write(line + "\n")


# ---------------------------------------------------------------------------------------------
# Preview: what the window shows by default on each tab (part 1, first envelope modes, effect 1
# phaser, effect 2 reverb), as draw commands for the image generator's preview sheets.
TAB_PAGES = {0: "multiTab", 1: "patchLibrarian", 2: "oscillators", 3: "filtersEnvelopes",
             4: "lfoModMatrix", 5: "effectsArp"}
ZONES = {"oscillators": {10, 20, 30, 40, 50}, "filtersEnvelopes": {10, 20, 30, 40},
         "lfoModMatrix": {10, 20, 30}, "effectsArp": {13, 308}}
VIEWS = [("oscillators", 2, None), ("filters", 3, None), ("lfo", 4, None), ("effects", 5, None),
         ("multi", 0, "multiModeSettingsPage1"), ("global", 0, "multiModeSettingsPage2"),
         ("librarian", 1, None), ("midifilters", 2, "midiFilterSettings")]


def visible(path, tab, multi_page):
    if not path:
        return True
    top = path[0][0]
    if top == "root":
        if len(path) < 2 or path[1][0] != TAB_PAGES[tab]:
            return False
        for name, zid in path[2:]:
            if name != "#copy" and zid not in ZONES.get(TAB_PAGES[tab], set()):
                return False
        return True
    if top == "miniMixer":
        return tab != 0
    if top == "bankAndProgram01":
        return True
    if top in ("filter1LP", "filter2LP"):
        return tab == 3
    return top == multi_page


def default_text(attrs):
    vb = [int(v) for v in attrs.get("valueBounds", "0").split(",")]
    if attrs.get("valueList"):
        lst = VALUE_LISTS[attrs["valueList"]]
        return lst[vb[0]] if vb[0] < len(lst) else ""
    if attrs.get("valueDisplay"):
        return str(int(attrs["valueDisplay"].split(":")[0]) + vb[0])
    return ""


with open(os.path.join(OUT, "preview.txt"), "w") as f:
    for view, tab, multi_page in VIEWS:
        f.write("view %s\n" % view)
        for path, tag, a in x.elements:
            if not visible(path, tab, multi_page):
                continue
            pos = [int(v) for v in a.get("position", a.get("bounds", "0,0")).split(",")]
            vb = [float(v) for v in a.get("valueBounds", "0,0,1").split(",")]
            img = a.get("imageId", "")
            if tag == "background" or tag == "autooff":
                f.write("img %s %d %d 0\n" % (img, pos[0], pos[1]))
            elif tag == "switch" or a.get("type") == "seButton":
                f.write("img %s %d %d %g\n" % (img, pos[0], pos[1], 1 if vb[0] else 0))
            elif a.get("type") in ("seKnob", "Knob"):
                frac = (vb[0] - vb[1]) / (vb[2] - vb[1]) if vb[2] > vb[1] else 0
                f.write("img %s %d %d %.4f\n" % (img, pos[0], pos[1], frac))
            elif a.get("type") in ("seSliderHor", "seSliderVer"):
                frac = (vb[0] - vb[1]) / (vb[2] - vb[1]) if vb[2] > vb[1] else 0
                # The handle travels the fader's length less its own width, as the control draws it.
                travel = int(a["length"]) - SLIDER_HANDLE_W
                f.write("fader %s %d %d %d %.4f\n" % (img, pos[0], pos[1], travel, frac))
            elif tag == "radio":
                f.write("radio %s %d %d %d %d\n" % (img, pos[0], pos[1], a["buttons"],
                                                     1 if a.get("horizontal") == "true" else 0))
            elif a.get("type") == "seMenu":
                f.write("menu %d %d %d %d %s\n" % (pos[0], pos[1], pos[2], MENU_H,
                                                    default_text(a)))
            elif tag == "dropMenu":
                text = {"nameSelection": "-- INIT --", "deviceSelection": "Dorvik MIDI",
                        "textSelection": "Factory Bank A"}.get(a["type"], default_text(a))
                f.write("menu %d %d %d %d %s\n" % (pos[0], pos[1], pos[2], pos[3], text))
            elif tag == "display":
                sample = {"kControlDisplayName": "[1] Cutoff",
                          "kControlDisplayValue": "100",
                          "kControlDisplayCC": "SysEx", "kControlDisplayPatch": "Init Sound",
                          "kControlDisplayCategory": "Lead"}.get(a["paramId"], "")
                f.write("display %d %d %d %d %s %s\n" % (pos[0], pos[1], pos[2], pos[3],
                                                         a.get("displaySize", "0"), sample))
            elif tag == "patchBrowser":
                f.write("img %s %d %d 0\n" % (img, pos[0], pos[1]))
