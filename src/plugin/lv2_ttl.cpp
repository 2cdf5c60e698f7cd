// Writes the bundle's Turtle files at build time from the port list and the
// parameter table, and the factory bank as LV2 presets:
//   kf-lv2-ttl BUNDLE_DIR BINARY_NAME [BANK_DIR]
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "files/file_io.h"
#include "files/preset.h"
#include "files/preset_bank.h"
#include "plugin/plugin_ports.h"

using namespace kf;
using namespace kf::lv2;

namespace {

std::string quoted(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string trim(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == ':')) s.remove_suffix(1);
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    return std::string(s);
}

std::string squashed(std::string_view s) {
    std::string out;
    for (char c : s)
        if (c != ' ') out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// "Resonance volume" from group "Resonance" and label "Volume: "; "Cut off"
// from group "CutOff" and label "Cut off: ".
std::string portName(const ParamInfo& p) {
    const std::string label = trim(p.label.prefix);
    if (label.empty()) return std::string(p.group);
    if (squashed(label).starts_with(squashed(p.group))) return label;
    std::string lower = label;
    lower[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(lower[0])));
    return std::string(p.group) + " " + lower;
}

std::string number(long double v) {
    std::ostringstream s;
    s.precision(10);
    s << static_cast<double>(v);
    std::string t = s.str();
    if (t.find_first_of(".e") == std::string::npos) t += ".0";
    return t;
}

std::string base64(const std::vector<uint8_t>& bytes) {
    static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t v = uint32_t{bytes[i]} << 16;
        if (i + 1 < bytes.size()) v |= uint32_t{bytes[i + 1]} << 8;
        if (i + 2 < bytes.size()) v |= bytes[i + 2];
        out += digits[(v >> 18) & 63];
        out += digits[(v >> 12) & 63];
        out += i + 1 < bytes.size() ? digits[(v >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? digits[v & 63] : '=';
    }
    return out;
}

const char* kPrefixes =
    "@prefix atom:  <http://lv2plug.in/ns/ext/atom#> .\n"
    "@prefix doap:  <http://usefulinc.com/ns/doap#> .\n"
    "@prefix lv2:   <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix midi:  <http://lv2plug.in/ns/ext/midi#> .\n"
    "@prefix opts:  <http://lv2plug.in/ns/ext/options#> .\n"
    "@prefix patch: <http://lv2plug.in/ns/ext/patch#> .\n"
    "@prefix pprop: <http://lv2plug.in/ns/ext/port-props#> .\n"
    "@prefix pset:  <http://lv2plug.in/ns/ext/presets#> .\n"
    "@prefix rdfs:  <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
    "@prefix urid:  <http://lv2plug.in/ns/ext/urid#> .\n"
    "@prefix work:  <http://lv2plug.in/ns/ext/worker#> .\n"
    "@prefix xsd:   <http://www.w3.org/2001/XMLSchema#> .\n\n";

void controlPort(std::ostream& o, uint32_t index, std::string_view symbol, const std::string& name, long double min,
                 long double max, long double start, bool integer, bool toggle, const std::string& comment) {
    o << "    a lv2:InputPort , lv2:ControlPort ;\n"
      << "    lv2:index " << index << " ;\n"
      << "    lv2:symbol " << quoted(symbol) << " ;\n"
      << "    lv2:name " << quoted(name) << " ;\n"
      << "    rdfs:comment " << quoted(comment) << " ;\n"
      << "    lv2:default " << number(start) << " ;\n"
      << "    lv2:minimum " << number(min) << " ;\n"
      << "    lv2:maximum " << number(max);
    if (integer) o << " ;\n    lv2:portProperty lv2:integer";
    if (toggle) o << " , lv2:toggled";
}

void writePlugin(std::ostream& o) {
    o << kPrefixes;
    o << "<" << kPresetFileUri << ">\n"
      << "    a lv2:Parameter ;\n"
      << "    rdfs:label \"Preset file\" ;\n"
      << "    rdfs:comment \"A Kestrafon preset (.kfp) to open\" ;\n"
      << "    rdfs:range atom:Path .\n\n";
    o << "<" << kPluginUri << ">\n"
      << "    a lv2:InstrumentPlugin , doap:Project ;\n"
      << "    doap:name \"Kestrafon\" ;\n"
      << "    doap:license <https://spdx.org/licenses/GPL-3.0-or-later> ;\n"
      << "    rdfs:comment \"The Kestrafon sound designer's timbre as an instrument: notes from MIDI, "
         "the sound from a preset file or the host's saved state\" ;\n"
      << "    lv2:requiredFeature urid:map ;\n"
      << "    lv2:optionalFeature lv2:hardRTCapable , work:schedule , <http://lv2plug.in/ns/ext/log#log> , "
         "state:mapPath , opts:options ;\n"
      << "    opts:supportedOption <http://lv2plug.in/ns/ext/buf-size#maxBlockLength> ;\n"
      << "    lv2:extensionData state:interface , work:interface ;\n"
      << "    patch:writable <" << kPresetFileUri << "> ;\n"
      << "    lv2:port [\n"
      << "        a lv2:InputPort , atom:AtomPort ;\n"
      << "        atom:bufferType atom:Sequence ;\n"
      << "        atom:supports midi:MidiEvent , patch:Message ;\n"
      << "        lv2:designation lv2:control ;\n"
      << "        lv2:index " << kMidiIn << " ;\n"
      << "        lv2:symbol \"midi_in\" ;\n"
      << "        lv2:name \"MIDI in\"\n"
      << "    ] , [\n"
      << "        a lv2:OutputPort , atom:AtomPort ;\n"
      << "        atom:bufferType atom:Sequence ;\n"
      << "        atom:supports patch:Message ;\n"
      << "        lv2:designation lv2:control ;\n"
      << "        lv2:index " << kNotify << " ;\n"
      << "        lv2:symbol \"notify\" ;\n"
      << "        lv2:name \"Notify\"\n"
      << "    ] , [\n"
      << "        a lv2:OutputPort , lv2:AudioPort ;\n"
      << "        lv2:index " << kAudioOut << " ;\n"
      << "        lv2:symbol \"out\" ;\n"
      << "        lv2:name \"Out\"\n";
    for (const EnginePort& p : kEnginePorts) {
        o << "    ] , [\n";
        controlPort(o, p.index, p.symbol, p.name, p.min, p.max, p.start, p.integer, p.toggle, p.comment);
        o << "\n";
    }
    for (size_t k = 0; k < kParamPorts.size(); ++k) {
        const ParamInfo& p = paramInfo(kParamPorts[k]);
        // The label at both ends says what the numbers mean (at 44100 Hz).
        const std::string comment = trim(paramLabel(p.id, p.min)) + " to " + trim(paramLabel(p.id, p.max));
        o << "    ] , [\n";
        controlPort(o, kFirstParam + static_cast<uint32_t>(k), p.key, portName(p), p.min, p.max, p.start,
                    p.type != ParamType::Real, p.type == ParamType::Bool, comment);
        o << "\n";
    }
    o << "    ] .\n";
}

bool writeFile(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << text;
    f.close();
    if (!f) std::cerr << "kf-lv2-ttl: cannot write " << path << "\n";
    return static_cast<bool>(f);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: kf-lv2-ttl BUNDLE_DIR BINARY_NAME [BANK_DIR]\n";
        return 2;
    }
    const std::string dir = argv[1], binary = argv[2];
    const std::vector<BankPreset> bank = argc > 3 ? listPresetBank(argv[3]) : std::vector<BankPreset>{};

    std::ostringstream manifest;
    manifest << kPrefixes << "<" << kPluginUri << ">\n    a lv2:Plugin ;\n"
             << "    lv2:binary <" << binary << "> ;\n    rdfs:seeAlso <kestrafon.ttl> .\n";
    std::ostringstream presets;
    presets << kPrefixes;
    for (const BankPreset& p : bank) {
        std::vector<uint8_t> bytes;
        if (Status st = readFileBytes(p.path, kPresetFileSize, bytes); !st) {
            std::cerr << "kf-lv2-ttl: " << p.path << ": " << st.message << "\n";
            return 1;
        }
        std::string id = p.category + "/" + p.title;
        for (char& c : id)
            if (c == ' ') c = '_';
        const std::string uri = std::string("<") + kPresetPrefix + id + ">";
        manifest << "\n" << uri << "\n    a pset:Preset ;\n    lv2:appliesTo <" << kPluginUri << "> ;\n"
                 << "    rdfs:seeAlso <presets.ttl> .\n";
        presets << uri << "\n    a pset:Preset ;\n    lv2:appliesTo <" << kPluginUri << "> ;\n"
                << "    rdfs:label " << quoted(p.category + ": " + p.title) << " ;\n"
                << "    state:state [\n        <" << kStatePresetUri << "> " << quoted(base64(bytes))
                << "^^xsd:base64Binary\n    ] .\n\n";
    }
    std::ostringstream plugin;
    writePlugin(plugin);
    return writeFile(dir + "/manifest.ttl", manifest.str()) && writeFile(dir + "/kestrafon.ttl", plugin.str()) &&
                   writeFile(dir + "/presets.ttl", presets.str())
               ? 0
               : 1;
}
