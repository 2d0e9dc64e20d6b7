// The scenario language, one row per command and one per kind of
// expectation: how it is written, how its line is read, how it runs.
// The words a row reads with are the Reader's; the longer runs are the
// Runner's (script_reader.cpp, script_runner.cpp).
#include <cmath>
#include <cstdint>

#include "bench/aircraft/aircraft.h"
#include "bench/scripts/script.h"

namespace bench::script {
namespace {

// What several rows share.

bool VarAndNumber(Reader& r, const Words& t, Command* c) {
  return r.Arity(t, 2, 2) && r.VarId(t[1], &c->var) && r.Real(t[2], &c->number, "a number");
}

bool VarAndBcd(Reader& r, const Words& t, Command* c) {
  return r.Arity(t, 2, 2) && r.VarId(t[1], &c->var) && r.HexBits(t[2], &c->bits);
}

bool Switch(Reader& r, const Words& t, Command* c) {
  return r.Arity(t, 1, 1) && r.OnOff(t[1], &c->on);
}

bool NothingMore(Reader& r, const Words& t, Command*) { return r.Arity(t, 0, 0); }

template <std::string Command::*field>
bool OneWord(Reader& r, const Words& t, Command* c) {
  if (!r.Arity(t, 1, 1)) return false;
  c->*field = t[1].text;
  return true;
}

bool GaugeElement(Reader& r, const Words& t, Command* c) {
  return r.Arity(t, 2, 2) && r.Gauge(t[1], &c->gauge) && r.Element(t[2], &c->element);
}

bool GaugeElementOnOff(Reader& r, const Words& t, Command* c) {
  return r.Arity(t, 3, 3) && r.Gauge(t[1], &c->gauge) && r.Element(t[2], &c->element) &&
         r.OnOff(t[3], &c->on);
}

std::string Within(double tolerance) {
  return tolerance > 0 ? " within " + Number(tolerance) : "";
}

bool ShownOrHidden(Runner& r, const Command& c, bool shown) {
  std::string label;
  const host::DrawnElement* drawn = r.Drawn(c, &label);
  if (drawn == nullptr) return false;
  if (drawn->hidden() == shown) {
    r.Fail(c, "expected " + label + " to be " +
                  (shown ? "shown, it is hidden" : "hidden, it is shown") +
                  (drawn->kind == kString ? " (" + Quote(drawn->text) + ")" : ""));
  }
  return true;
}

// A picture (icon) element, or null once the error is reported.
const host::DrawnElement* Icon(Runner& r, const Command& c, std::string* label) {
  const host::DrawnElement* drawn = r.Drawn(c, label);
  if (drawn != nullptr && drawn->kind != kIcon) {
    r.Error(c, *label + " is not a picture (icon) element");
    return nullptr;
  }
  return drawn;
}

constexpr Verb kVerbs[] = {
    {"load", "load [gauge...]",
     [](Reader& r, const Words& t, Command* c) { return r.Load(t, c); },
     [](Runner& r, const Command& c) {
       std::string why;
       return r.panel().Open(r.options().panel, c.gauges, &why) || r.Error(c, why);
     }},
    {"set", "set <var-id> <number>", VarAndNumber,
     [](Runner& r, const Command& c) { r.panel().host().vars().Set(c.var, c.number); return true; }},
    {"set-bcd", "set-bcd <var-id> <hex digits>", VarAndBcd,
     [](Runner& r, const Command& c) {
       r.panel().host().vars().SetInteger(c.var, c.bits);
       return true;
     }},
    {"hold", "hold <var-id> <number>", VarAndNumber,
     [](Runner& r, const Command& c) { r.aircraft().Hold(c.var, c.number); return true; }},
    {"hold-bcd", "hold-bcd <var-id> <hex digits>", VarAndBcd,
     [](Runner& r, const Command& c) { r.aircraft().HoldInteger(c.var, c.bits); return true; }},
    {"release", "release <var-id>",
     [](Reader& r, const Words& t, Command* c) { return r.Arity(t, 1, 1) && r.VarId(t[1], &c->var); },
     [](Runner& r, const Command& c) { r.aircraft().Release(c.var); return true; }},
    {"named", "named <name> <integer>",
     [](Reader& r, const Words& t, Command* c) {
       if (!r.Arity(t, 2, 2)) return false;
       c->name = t[1].text;
       return r.Integer(t[2], INT32_MIN, INT32_MAX, &c->value, "a 32-bit integer");
     },
     [](Runner& r, const Command& c) { r.panel().SetNamed(c.name, c.value); return true; }},
    {"unregister", "unregister <name>", OneWord<&Command::name>,
     [](Runner& r, const Command& c) { r.panel().UnregisterNamed(c.name); return true; }},
    {"partner", "partner pfd|dimmer present|absent",
     [](Reader& r, const Words& t, Command* c) {
       if (!r.Arity(t, 2, 2)) return false;
       if (t[1].text != "pfd" && t[1].text != "dimmer") {
         return r.Error("'" + t[1].text + "' is no partner gauge: write pfd or dimmer");
       }
       c->partner = t[1].text;
       return r.OnOff(t[2], &c->on, "present", "absent");
     },
     [](Runner& r, const Command& c) {
       if (c.partner == "pfd") {
         r.aircraft().SetPfdPresent(c.on);
       } else {
         r.aircraft().SetDimmerPresent(c.on);
       }
       return true;
     }},
    {"power", "power on|off", Switch,
     [](Runner& r, const Command& c) { r.aircraft().SetBattery(c.on); return true; }},
    {"avionics", "avionics on|off", Switch,
     [](Runner& r, const Command& c) { r.aircraft().SetAvionics(c.on); return true; }},
    {"lights", "lights on|off", Switch,
     [](Runner& r, const Command& c) { r.aircraft().SetPanelLights(c.on); return true; }},
    {"engine", "engine 1|2 on|off",
     [](Reader& r, const Words& t, Command* c) {
       return r.Arity(t, 2, 2) && r.Integer(t[1], 1, 2, &c->engine, "an engine") &&
              r.OnOff(t[2], &c->on);
     },
     [](Runner& r, const Command& c) { r.aircraft().SetEngine(c.engine, c.on); return true; }},
    {"dimmer", "dimmer bright|dim",
     [](Reader& r, const Words& t, Command* c) {
       bool bright = true;
       if (!r.Arity(t, 1, 1) || !r.OnOff(t[1], &bright, "bright", "dim")) return false;
       c->dimmer = bright ? Dimmer::kBright : Dimmer::kDim;
       return true;
     },
     [](Runner& r, const Command& c) { r.aircraft().SetDimmer(c.dimmer); return true; }},
    {"ambient", "ambient day|dusk|night",
     [](Reader& r, const Words& t, Command* c) {
       return r.Arity(t, 1, 1) && (ParseAmbient(t[1].text, &c->ambient) ||
                                   r.Error("'" + t[1].text +
                                           "' is no ambient light: write day, dusk or night"));
     },
     [](Runner& r, const Command& c) { r.SetAmbient(c.ambient); return true; }},
    {"update", "update [count] [realtime]",
     [](Reader& r, const Words& t, Command* c) {
       if (!r.Arity(t, 0, 2)) return false;
       size_t next = 1;
       if (next < t.size() && t[next].text != "realtime") {
         if (!r.Integer(t[next], 1, 1000000, &c->updates, "a count of updates")) return false;
         ++next;
       }
       if (next < t.size()) {
         if (t[next].text != "realtime") return r.Unexpected(t[next]);
         c->realtime = true;
         ++next;
       }
       return next == t.size() || r.Unexpected(t[next]);
     },
     [](Runner& r, const Command& c) { r.Updates(c); return true; }},
    {"click", "click <gauge> <x> <y> [hold <repeats>]  or  click <gauge> area <n> [hold <repeats>]",
     [](Reader& r, const Words& t, Command* c) {
       if (!r.Arity(t, 3, 5) || !r.Gauge(t[1], &c->gauge)) return false;
       if (t[2].text == "area") {
         if (!r.Integer(t[3], 1, 4096, &c->area, "an area number (1 is the first)")) return false;
       } else if (!r.Integer(t[2], INT32_MIN, INT32_MAX, &c->x, "an x position") ||
                  !r.Integer(t[3], INT32_MIN, INT32_MAX, &c->y, "a y position")) {
         return false;
       }
       if (t.size() == 4) return true;
       if (t.size() != 6 || t[4].text != "hold") return r.Unexpected(t[4]);
       return r.Integer(t[5], 0, 10000, &c->repeats, "a number of repeats");
     },
     [](Runner& r, const Command& c) { return r.Click(c); }},
    {"click-random", "click-random <gauge> <count>",
     [](Reader& r, const Words& t, Command* c) {
       return r.Arity(t, 2, 2) && r.Gauge(t[1], &c->gauge) &&
              r.Integer(t[2], 1, 100000, &c->clicks, "a number of clicks");
     },
     [](Runner& r, const Command& c) { return r.ClickRandom(c); }},
    {"key", "key <key-event id or name>",
     [](Reader& r, const Words& t, Command* c) {
       return r.Arity(t, 1, 1) && r.KeyEvent(t[1], &c->key);
     },
     [](Runner& r, const Command& c) { r.aircraft().OnKeyEvent(c.key, 0); return true; }},
    {"seed", "seed <number>",
     [](Reader& r, const Words& t, Command* c) {
       if (!r.Arity(t, 1, 1)) return false;
       if (!WholeWord(t[1].text, 10, &c->seed)) {
         return r.Error("'" + t[1].text + "' is not a seed: write a whole number from 0 to " +
                        std::to_string(UINT64_MAX) + ", like 42");
       }
       return true;
     },
     [](Runner& r, const Command& c) { r.SetSeed(c.seed); return true; }},
    {"show", "show [gauge]",
     [](Reader& r, const Words& t, Command* c) {
       return r.Arity(t, 0, 1) && (t.size() == 1 || r.Gauge(t[1], &c->gauge));
     },
     [](Runner& r, const Command& c) { r.Show(c); return true; }},
    {"echo", "echo <text>",
     [](Reader&, const Words& t, Command* c) {
       for (size_t i = 1; i < t.size(); ++i) c->text += (i > 1 ? " " : "") + t[i].text;
       return true;
     },
     [](Runner& r, const Command& c) { r.Print("%s\n", Visible(c.text).c_str()); return true; }},
    {"snapshot", "snapshot <file.png> [gauge] [scale <n>] [overlay]",
     [](Reader& r, const Words& t, Command* c) {
       if (!r.Arity(t, 1, 5)) return false;
       c->file = t[1].text;
       if (c->file.size() < 5 || Lower(c->file.substr(c->file.size() - 4)) != ".png") {
         return r.Error("'" + c->file + "': a snapshot is a PNG file, name it <something>.png");
       }
       if (!r.InOutputFolder(t[1])) return false;
       if (!r.loaded()) {
         return r.Error("nothing to take a snapshot of yet: add a 'load' line before this one");
       }
       for (size_t i = 2; i < t.size(); ++i) {
         if (t[i].text == "overlay") {
           c->overlay = true;
         } else if (t[i].text == "scale" && i + 1 < t.size()) {
           if (!r.Integer(t[++i], 1, 8, &c->scale, "a scale")) return false;
         } else if (i == 2 && t[i].text != "scale") {
           if (!r.Gauge(t[i], &c->gauge)) return false;
         } else {
           return r.Unexpected(t[i]);
         }
       }
       return true;
     },
     [](Runner& r, const Command& c) { return r.Snapshot(c); }},
    {"expect",
     "expect key|no-key|click|no-click|text|hidden|shown|lit|picture|lamp|needle|named|var|baro|"
     "note ...",
     [](Reader& r, const Words& t, Command* c) { return r.Expectation(t, c); },
     [](Runner& r, const Command& c) {
       ++r.result().expectations;
       return c.expectation->run(r, c);
     }},
};

constexpr Verb kExpectations[] = {
    {"key", "expect key <key-event id or name>",
     [](Reader& r, const Words& t, Command* c) {
       return r.Arity(t, 1, 1) && r.KeyEvent(t[1], &c->key);
     },
     [](Runner& r, const Command& c) {
       bool any = false;
       const host::LogEntry* sent = r.Pending(host::LogKind::kKeyEvent, &any);
       if (sent == nullptr) {
         r.Fail(c, "expected key event " + KeyText(c.key) + ", but " + r.ClickContext() + " sent " +
                       (any ? "no more" : "none"));
       } else if (sent->id != c.key) {
         r.Fail(c, "expected key event " + KeyText(c.key) + ", saw " + KeyText(sent->id) + " from " +
                       r.ClickContext());
       }
       r.Take(host::LogKind::kKeyEvent);
       return true;
     }},
    {"no-key", "expect no-key", NothingMore,
     [](Runner& r, const Command& c) {
       if (const host::LogEntry* sent = r.Pending(host::LogKind::kKeyEvent)) {
         r.Fail(c, "expected no more key events, saw " + KeyText(sent->id) + " from " +
                       r.ClickContext());
       }
       return true;
     }},
    {"click", "expect click <sound file>", OneWord<&Command::file>,
     [](Runner& r, const Command& c) {
       bool any = false;
       const host::LogEntry* sent = r.Pending(host::LogKind::kPlaySound, &any);
       if (sent == nullptr) {
         r.Fail(c, "expected the click " + Quote(c.file) + ", but " + r.ClickContext() + " played " +
                       (any ? "no more" : "none"));
       } else if (sent->name != c.file) {
         r.Fail(c, "expected the click " + Quote(c.file) + ", saw " + Quote(sent->name) + " from " +
                       r.ClickContext());
       } else if (sent->resolved.empty()) {
         r.Fail(c, "the click " + Quote(c.file) + " was played, but the sound library found no such "
                   "file under " + r.options().panel.sound_root.string() +
                   " (lay out dist/ with tools/dist.sh, or give the simulator folder with "
                   "--sound-root)");
       }
       r.Take(host::LogKind::kPlaySound);
       return true;
     }},
    {"no-click", "expect no-click", NothingMore,
     [](Runner& r, const Command& c) {
       if (const host::LogEntry* sent = r.Pending(host::LogKind::kPlaySound)) {
         r.Fail(c, "expected no more clicks, saw " + Quote(sent->name) + " from " + r.ClickContext());
       }
       return true;
     }},
    {"text", "expect text <gauge> <element> \"<text>\"",
     [](Reader& r, const Words& t, Command* c) {
       if (!r.Arity(t, 3, 3) || !r.Gauge(t[1], &c->gauge) || !r.Element(t[2], &c->element)) {
         return false;
       }
       c->text = t[3].text;
       return true;
     },
     [](Runner& r, const Command& c) {
       std::string label;
       const host::DrawnElement* drawn = r.Drawn(c, &label);
       if (drawn == nullptr) return false;
       if (drawn->kind != kString) return r.Error(c, label + " is not a text");
       if (drawn->text != c.text) {
         r.Fail(c, "expected " + label + " to read " + Quote(c.text) + ", saw " + Quote(drawn->text) +
                       (drawn->hidden() ? " (hidden)" : ""));
       }
       return true;
     }},
    {"hidden", "expect hidden <gauge> <element>", GaugeElement,
     [](Runner& r, const Command& c) { return ShownOrHidden(r, c, false); }},
    {"shown", "expect shown <gauge> <element>", GaugeElement,
     [](Runner& r, const Command& c) { return ShownOrHidden(r, c, true); }},
    {"lit", "expect lit <gauge> <element> on|off", GaugeElementOnOff,
     [](Runner& r, const Command& c) {
       std::string label;
       const host::DrawnElement* drawn = r.Drawn(c, &label);
       if (drawn == nullptr) return false;
       if (drawn->lit() != c.on) {
         r.Fail(c, "expected " + label + " to be drawn " +
                       (c.on ? "lit, it is unlit" : "unlit, it is lit"));
       }
       return true;
     }},
    {"picture", "expect picture <gauge> <element> <index>",
     [](Reader& r, const Words& t, Command* c) {
       return r.Arity(t, 3, 3) && r.Gauge(t[1], &c->gauge) && r.Element(t[2], &c->element) &&
              r.Real(t[3], &c->number, "a picture index");
     },
     [](Runner& r, const Command& c) {
       std::string label;
       const host::DrawnElement* drawn = Icon(r, c, &label);
       if (drawn == nullptr) return false;
       if (!(std::isnan(c.number) ? std::isnan(drawn->value) : drawn->value == c.number)) {
         r.Fail(c, "expected " + label + " to show picture " + Number(c.number) + ", saw " +
                       Number(drawn->value));
       }
       return true;
     }},
    {"lamp", "expect lamp <gauge> <element> on|off", GaugeElementOnOff,
     [](Runner& r, const Command& c) {
       std::string label;
       const host::DrawnElement* drawn = Icon(r, c, &label);
       if (drawn == nullptr) return false;
       const double value = drawn->value;
       const bool whole = value >= 0.0 && value < 4096.0 && value == std::floor(value);
       if (!whole) {
         r.Fail(c, "expected " + label + " " + (c.on ? "on" : "off") +
                       ", but it shows no picture (result " + Number(value) + ")");
       } else if ((value >= 1.0) != c.on) {
         r.Fail(c, "expected " + label + " " + (c.on ? "on" : "off") + ", it is " +
                       (c.on ? "off (picture 0)" : "on (picture " + Number(value) + ")"));
       }
       return true;
     }},
    {"needle", "expect needle <gauge> <value> [within <tolerance>]",
     [](Reader& r, const Words& t, Command* c) {
       return r.Arity(t, 2, 4) && r.Gauge(t[1], &c->gauge) &&
              r.Real(t[2], &c->number, "a needle value") && r.Tolerance(t, 3, &c->tolerance);
     },
     [](Runner& r, const Command& c) {
       const host::Drawing* drawing = r.DrawingOf(c);
       if (drawing == nullptr) return false;
       for (const host::DrawnElement& drawn : drawing->elements) {
         if (drawn.kind != kNeedle) continue;
         if (!(std::fabs(drawn.value - c.number) <= c.tolerance)) {
           r.Fail(c, "expected " + c.gauge + "'s needle at " + Number(c.number) +
                         Within(c.tolerance) + ", saw " + Number(drawn.value));
         }
         return true;
       }
       return r.Error(c, c.gauge + " has no needle");
     }},
    {"named", "expect named <name> <integer>|none",
     [](Reader& r, const Words& t, Command* c) {
       if (!r.Arity(t, 2, 2)) return false;
       c->name = t[1].text;
       c->none = t[2].text == "none";
       return c->none ||
              r.Integer(t[2], INT32_MIN, INT32_MAX, &c->value, "a 32-bit integer (or none)");
     },
     [](Runner& r, const Command& c) {
       const int32_t* value = r.panel().host().vars().Named(c.name);
       if (c.none) {
         if (value != nullptr) {
           r.Fail(c, "expected " + Quote(c.name) + " to be unregistered, it is registered with " +
                         std::to_string(*value));
         }
       } else if (value == nullptr) {
         r.Fail(c, "expected " + Quote(c.name) + " to hold " + std::to_string(c.value) +
                       ", but no gauge has registered it");
       } else if (*value != c.value) {
         r.Fail(c, "expected " + Quote(c.name) + " to hold " + std::to_string(c.value) + ", saw " +
                       std::to_string(*value));
       }
       return true;
     }},
    {"var", "expect var <var-id> <number> [within <tolerance>]",
     [](Reader& r, const Words& t, Command* c) {
       if (!r.Arity(t, 2, 4) || !r.VarId(t[1], &c->var)) return false;
       if (Reader::IsHex(t[2].text)) {
         c->integer = true;
         if (!r.HexBits(t[2], &c->bits)) return false;
         return t.size() == 3 || r.Error("a hex value is compared exactly: drop the 'within'");
       }
       return r.Real(t[2], &c->number, "a number") && r.Tolerance(t, 3, &c->tolerance);
     },
     [](Runner& r, const Command& c) {
       host::Variables& vars = r.panel().host().vars();
       if (!vars.Has(c.var)) {
         r.Fail(c, "expected variable " + Hex(c.var) + " to hold " +
                       (c.integer ? Hex(c.bits) : Number(c.number)) +
                       ", but the bench does not simulate it");
       } else if (c.integer) {
         if (vars.GetInteger(c.var) != c.bits) {
           r.Fail(c, "expected variable " + Hex(c.var) + " to hold " + Hex(c.bits) + ", saw " +
                         Hex(vars.GetInteger(c.var)));
         }
       } else {
         const double value = vars.Get(c.var);
         const bool same = std::isnan(c.number) ? std::isnan(value)
                                                : std::fabs(value - c.number) <= c.tolerance;
         if (!same) {
           r.Fail(c, "expected variable " + Hex(c.var) + " to hold " + Number(c.number) +
                         Within(c.tolerance) + ", saw " + Number(value));
         }
       }
       return true;
     }},
    {"baro", "expect baro <inHg>",
     [](Reader& r, const Words& t, Command* c) {
       if (!r.Arity(t, 1, 1) || !r.Real(t[1], &c->number, "a pressure in inHg")) return false;
       constexpr double kLow = Aircraft::kBaroLowHundredths / 100.0;
       constexpr double kHigh = Aircraft::kBaroHighHundredths / 100.0;
       if (!(c->number >= kLow && c->number <= kHigh)) {
         return r.Error("'" + t[1].text + "' is not an altimeter setting: " +
                        host::Format("write %.2f to %.2f inHg", kLow, kHigh));
       }
       return true;
     },
     [](Runner& r, const Command& c) {
       const int expected = static_cast<int>(std::lround(c.number * 100.0));
       if (r.aircraft().baro_hundredths() != expected) {
         r.Fail(c, host::Format("expected the altimeter setting %.2f inHg, saw %.2f",
                                expected / 100.0, r.aircraft().baro_inhg()));
       }
       return true;
     }},
    {"note", "expect note \"<part of a host note>\"", OneWord<&Command::text>,
     [](Runner& r, const Command& c) {
       const std::vector<std::string>& notes = r.panel().host().notes();
       std::string seen;
       for (const std::string& note : notes) {
         if (note.find(c.text) != std::string::npos) return true;
         seen += "\n    " + note;
       }
       r.Fail(c, "expected a host note with " + Quote(c.text) + ", saw " +
                     (seen.empty() ? "none" : seen));
       return true;
     }},
};

}  // namespace

std::span<const Verb> Verbs() { return kVerbs; }
std::span<const Verb> Expectations() { return kExpectations; }

}  // namespace bench::script
