// SPDX-License-Identifier: GPL-3.0-or-later
// The command table of the simulated instrument and its handlers. Headers are written long
// form with the short form in upper case.
//
// Simulator-only commands (no real instrument has them) let tests switch faults through
// any transport; they change the switches of the connection that sends them only:
//   KTXSIM:FAULt SILent|GARbage|TRUNcate|NONe   instrument faults (NONe clears all three)
//   KTXSIM:DELay <ms>                           the carrier holds each answer this long
//   KTXSIM:DROP <bytes>                         the carrier closes after that many answer bytes
//                                               from now (-1: never)
//   KTXSIM:DRIP <ms>                            the carrier sends answer bytes one at a time,
//                                               this far apart (0: off)
//   KTXSIM:CLOSe <0|1>                          the carrier closes when half of the next
//                                               answer has gone (0: off)
//   KTXSIM:LOG?                                 the commands received so far, one a line, as a
//                                               definite-length block (blocks: header only)
//   KTXSIM:LOG CLEar                            empties that log
//   KTXSIM:INVALid <n>                          the next n measured values are 9.9E37 (-1: all)
//   KTXSIM:SEQuence:DELay <ms>                  a single sequence triggers this long after it
//                                               was armed
//   KTXSIM:CLOCk <s>|RUN                        holds the instrument's clock at s seconds, or
//                                               lets it run on
#include "command_table.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "instrument_state.h"
#include "measurement.h"
#include "number_format.h"
#include "panel_settings.h"
#include "reading_drift.h"
#include "sim_family.h"

namespace ktx::sim {

namespace {

using State = InstrumentState;

constexpr const char* kSources = "CH1|CH2|CH3|CH4|MATH|REF1|REF2|REF3|REF4";
constexpr const char* kKeys =
    "BYT_Nr|BIT_Nr|ENCdg|BN_Fmt|BYT_Or|NR_Pt|PT_Fmt|XUNit|XINcr|XZEro|PT_Off|YUNit|YMUlt|YOFf|"
    "YZEro|WFId";

std::string FirstArgument(const Call& call) {
    return call.arguments.empty() ? std::string() : call.arguments.front();
}

std::optional<bool> ParseSwitch(std::string_view text) {
    const std::string upper = ToUpper(Trim(text));
    if (upper == "ON") {
        return true;
    }
    if (upper == "OFF") {
        return false;
    }
    if (const auto number = ParseInteger(upper)) {
        return *number != 0;
    }
    return std::nullopt;
}

std::string Flag(bool on) {
    return on ? "1" : "0";
}

void Illegal(State& s) {
    s.Error(-224, "Illegal parameter value");
}

// --- common commands and status -----------------------------------------------------------

void IdnQuery(State& s, const Call&) {
    if (const auto answer = IdentificationAnswer(s.config.deviceType, s.config.model)) {
        s.AnswerRaw(*answer + ModuleText(s));
    }
}

void IdQuery(State& s, const Call&) {
    if (IdentificationAnswer(s.config.deviceType, s.config.model)) {
        s.AnswerRaw(LegacyIdAnswer(s.config.model));
    }
}

void HandheldVersionQuery(State& s, const Call&) {
    if (const auto answer = HandheldVersionAnswer(s.config.deviceType, s.config.model)) {
        s.AnswerRaw(*answer);
    }
}

void CommunicationQuery(State& s, const Call&) {
    if (const auto answer = CommunicationAnswer(s.config.deviceType)) {
        s.AnswerRaw(*answer);
    }
}

void Rst(State& s, const Call&) {
    s.Reset();
}
void Nothing(State&, const Call&) {}

void Cls(State& s, const Call&) {
    s.events.clear();
    s.commandErrorSinceEsr = false;
}

void EsrQuery(State& s, const Call&) {
    s.AnswerRaw(s.commandErrorSinceEsr ? "32" : "0");  // bit 5: command error
    s.commandErrorSinceEsr = false;
}

void OpcQuery(State& s, const Call&) {
    s.AnswerRaw("1");
}

void AllEventsQuery(State& s, const Call& call) {
    std::string text;
    for (const std::string& event : s.events) {
        text += (text.empty() ? "" : ",") + event;
    }
    s.events.clear();
    s.Answer(call, text.empty() ? "0,\"No events to report - queue empty\"" : text);
}

void Header(State& s, const Call& call) {
    if (!call.command.query) {
        if (const auto on = ParseSwitch(FirstArgument(call))) {
            s.header = *on;
        } else {
            Illegal(s);
        }
        return;
    }
    s.Answer(call, Flag(s.header));
}

void Verbose(State& s, const Call& call) {
    if (!call.command.query) {
        if (const auto on = ParseSwitch(FirstArgument(call))) {
            s.verbose = *on;
        } else {
            Illegal(s);
        }
        return;
    }
    s.Answer(call, Flag(s.verbose));
}

// --- curve and data settings ----------------------------------------------------------------

void Curve(State& s, const Call& call) {
    if (call.command.query) {
        s.Answer(call, s.CurveAnswer(s.dataSource));
        return;
    }
    // The raw argument text: a block is taken whole, "," and all.
    if (!s.StoreCurve(s.dataDestination, call.command.arguments, s.inFormat)) {
        Illegal(s);
    }
}

void Data(State& s, const Call& call) {
    if (call.command.query) {
        const bool h = s.header;
        std::string text = h ? ":DATA:" : "";
        auto field = [&](const char* key, const std::string& value, bool last = false) {
            text += (h ? std::string(key) + " " : std::string()) + value + (last ? "" : ";");
        };
        field("DESTINATION", s.dataDestination);
        field("ENCDG", EncodingName(s.outFormat, s.verbose));
        field("SOURCE", s.dataSource);
        field("START", FormatNr1(s.dataStart));
        field("STOP", FormatNr1(s.dataStop));
        field("WIDTH", FormatNr1(s.outFormat.width), true);
        s.AnswerRaw(text);
        return;
    }
    const std::string argument = FirstArgument(call);
    if (MatchesMnemonic("INIT", argument)) {
        // DATA INIT: the factory data settings.
        s.dataSource = "CH1";
        s.dataDestination = "REF1";
        s.outFormat = DataFormat{};
        s.inFormat = DataFormat{};
        s.dataStart = 1;
        s.dataStop = s.recordLength;
    } else if (!MatchesMnemonic("SNAp", argument)) {
        Illegal(s);
    }
}

void DataSource(State& s, const Call& call) {
    if (call.command.query) {
        s.Answer(call, s.dataSource);
        return;
    }
    const std::string source = s.CanonicalSource(FirstArgument(call));
    if (source.empty()) {
        Illegal(s);
        return;
    }
    s.dataSource = source;
}

void DataEncoding(State& s, const Call& call) {
    if (call.command.query) {
        s.Answer(call, EncodingName(s.outFormat, s.verbose));
        return;
    }
    const auto out = EncodingFromName(FirstArgument(call), s.outFormat);
    const auto in = EncodingFromName(FirstArgument(call), s.inFormat);
    if (!out || !in) {
        Illegal(s);
        return;
    }
    s.outFormat = *out;
    s.inFormat = *in;
}

void DataWidth(State& s, const Call& call) {
    if (call.command.query) {
        s.Answer(call, FormatNr1(s.outFormat.width));
        return;
    }
    const auto width = ParseInteger(FirstArgument(call));
    if (!width || (*width != 1 && *width != 2)) {
        Illegal(s);
        return;
    }
    s.outFormat.width = static_cast<int>(*width);
    s.inFormat.width = static_cast<int>(*width);
}

void SetPoint(State& s, const Call& call, std::int64_t& point) {
    if (call.command.query) {
        s.Answer(call, FormatNr1(point));
        return;
    }
    const auto value = ParseInteger(FirstArgument(call));
    if (!value) {
        Illegal(s);
        return;
    }
    point = std::clamp<std::int64_t>(*value, 1, 1'000'000'000);
}

void DataStart(State& s, const Call& call) {
    SetPoint(s, call, s.dataStart);
}
void DataStop(State& s, const Call& call) {
    SetPoint(s, call, s.dataStop);
}

void DataDestination(State& s, const Call& call) {
    if (call.command.query) {
        s.Answer(call, s.dataDestination);
        return;
    }
    // The program sends the destination without a terminator and the waveform file right
    // behind it ("DATA:DESTINATION REF1:CURVE #..."), so whatever follows the reference name
    // is a command of its own.
    const std::string& text = call.command.arguments;
    // The name is letters and then digits ("REF1"), so "REF4CURVE 1,2" splits after the 4.
    std::size_t nameEnd = 0;
    while (nameEnd < text.size() && std::isalpha(static_cast<unsigned char>(text[nameEnd]))) {
        ++nameEnd;
    }
    while (nameEnd < text.size() && std::isdigit(static_cast<unsigned char>(text[nameEnd]))) {
        ++nameEnd;
    }
    const std::string destination = s.CanonicalSource(text.substr(0, nameEnd));
    if (destination.rfind("REF", 0) != 0) {
        Illegal(s);
        return;
    }
    s.dataDestination = destination;
    // Only leading blanks go: the glued data may end in block bytes that look like blanks.
    std::string_view rest = std::string_view(text).substr(nameEnd);
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) {
        rest.remove_prefix(1);
    }
    if (!rest.empty() && (rest.front() == ';' || rest.front() == ',')) {
        rest.remove_prefix(1);
    }
    s.followUp = std::string(rest);
}

// --- preamble ---------------------------------------------------------------------------

void WholePreamble(State& s, const Call& call) {
    const std::string source = call.components.size() == 2 ? call.components[1] : s.dataSource;
    s.AnswerRaw(s.FullPreamble(source, s.outFormat, s.header));
}

// Setting a preamble field changes the data format: WFMPre is both directions on the older
// families, WFMOutpre and WFMInpre one direction each.
void SetFormatField(State& s, const std::string& key, const std::string& value, bool out, bool in) {
    auto apply = [&](DataFormat& format) -> bool {
        if (key == "BYT_NR") {
            const auto width = ParseInteger(value);
            if (!width || (*width != 1 && *width != 2)) {
                return false;
            }
            format.width = static_cast<int>(*width);
        } else if (key == "ENCDG") {
            if (MatchesMnemonic("ASCii", value)) {
                format.ascii = true;
            } else if (MatchesMnemonic("BINary", value)) {
                format.ascii = false;
            } else if (const auto named = EncodingFromName(value, format)) {
                format = *named;
            } else {
                return false;
            }
        } else if (key == "BN_FMT") {
            if (!MatchesMnemonic("RI", value) && !MatchesMnemonic("RP", value)) {
                return false;
            }
            format.isSigned = MatchesMnemonic("RI", value);
        } else if (key == "BYT_OR") {
            if (!MatchesMnemonic("MSB", value) && !MatchesMnemonic("LSB", value)) {
                return false;
            }
            format.msbFirst = MatchesMnemonic("MSB", value);
        }
        // Scaling fields (NR_PT, XINCR, YMULT, ...) describe incoming data; accepted, unused.
        return true;
    };
    bool ok = true;
    if (out) {
        ok = apply(s.outFormat) && ok;
    }
    if (in) {
        ok = apply(s.inFormat) && ok;
    }
    if (!ok) {
        Illegal(s);
    }
}

void PreambleField(State& s, const Call& call) {
    const std::string& prefix = call.components.front();
    const std::string& key = call.components.back();
    const bool input = prefix == "WFMINPRE" || prefix == "WFMW";
    if (!call.command.query) {
        SetFormatField(s, key, FirstArgument(call), prefix != "WFMINPRE" && prefix != "WFMW",
                       prefix != "WFMOUTPRE");
        return;
    }
    const std::string source = call.components.size() == 3 ? call.components[1] : s.dataSource;
    if (const auto value = s.PreambleValue(source, key, input ? s.inFormat : s.outFormat)) {
        s.Answer(call, *value);
    }
}

// --- horizontal, acquisition, display --------------------------------------------------------

void RecordLength(State& s, const Call& call) {
    if (call.command.query) {
        s.Answer(call, FormatNr1(s.recordLength));
        return;
    }
    const auto value = ParseInteger(FirstArgument(call));
    if (!value || *value < 1 || *value > 10'000'000) {
        Illegal(s);
        return;
    }
    s.recordLength = *value;
}

void AcquisitionLength(State& s, const Call& call) {
    s.Answer(call, FormatNr1(s.recordLength));
}

void AcquireState(State& s, const Call& call) {
    if (call.command.query) {
        if (s.running && s.stopAfterSequence && s.acquire.pollsBeforeTrigger == 0 &&
            s.SequenceDelayPassed()) {
            s.running = false;  // the delayed single sequence has triggered meanwhile
        }
        s.Answer(call, Flag(s.running));
        return;
    }
    const std::string argument = FirstArgument(call);
    std::optional<bool> run = ParseSwitch(argument);
    if (MatchesMnemonic("RUN", argument)) {
        run = true;
    } else if (MatchesMnemonic("STOP", argument)) {
        run = false;
    }
    if (!run) {
        Illegal(s);
        return;
    }
    if (*run) {
        if (!s.running) {
            s.NewAcquisition();  // RUN after STOP: a fresh frame
        }
        // A single sequence is complete at once unless the connection's sequence delay makes
        // the trigger wait: then it runs until "TRIG:STATE?" finds the delay passed.
        s.sequenceArmedAt = s.ElapsedSeconds();
        s.running = !s.stopAfterSequence || !s.SequenceDelayPassed();
    } else {
        s.running = false;
    }
}

void AcquireStopAfter(State& s, const Call& call) {
    if (call.command.query) {
        s.Answer(call, s.stopAfterSequence ? "SEQUENCE" : "RUNSTOP");
        return;
    }
    const std::string argument = FirstArgument(call);
    if (MatchesMnemonic("SEQuence", argument)) {
        // While acquiring, the sequence under way ends at the next trigger: the first
        // "TRIG:STATE?" still finds it waiting.
        s.acquire.pollsBeforeTrigger = s.running && !s.stopAfterSequence ? 1 : 0;
        s.stopAfterSequence = true;
        s.sequenceArmedAt = s.ElapsedSeconds();
    } else if (MatchesMnemonic("RUNSTop", argument)) {
        s.stopAfterSequence = false;
    } else {
        Illegal(s);
    }
}

void AcquisitionCount(State& s, const Call& call) {
    s.Answer(call, FormatNr1(static_cast<std::int64_t>(s.acquisition)));
}

void TriggerState(State& s, const Call& call) {
    if (s.running && s.stopAfterSequence) {
        if (s.acquire.pollsBeforeTrigger > 0) {
            --s.acquire.pollsBeforeTrigger;
            s.Answer(call, "READY");
            return;
        }
        if (!s.SequenceDelayPassed()) {
            s.Answer(call, "READY");
            return;
        }
        s.running = false;  // the single sequence has triggered and stopped
    }
    s.Answer(call, s.running ? "TRIGGER" : "SAVE");
}

void Select(State& s, const Call& call) {
    const std::string& source = call.components[1];
    if (call.command.query) {
        s.Answer(call, Flag(s.displayed[source]));
        return;
    }
    if (const auto on = ParseSwitch(FirstArgument(call))) {
        s.displayed[source] = *on;
    } else {
        Illegal(s);
    }
}

void DisplayMode(State& s, const Call& call) {
    if (!HasMeterMode(s.config.deviceType)) {
        s.Error(-113, "Undefined header");
        return;
    }
    if (call.command.query) {
        s.Answer(call, s.meterMode ? (s.verbose ? "METER" : "MET") : (s.verbose ? "SCOPE" : "SCO"));
        return;
    }
    const std::string argument = FirstArgument(call);
    if (MatchesMnemonic("METer", argument)) {
        s.meterMode = true;
    } else if (MatchesMnemonic("SCOpe", argument)) {
        s.meterMode = false;
    } else {
        Illegal(s);
    }
}

void Factory(State& s, const Call&) {
    s.Reset();
}

void Setup(State& s, const Call&) {
    // Set-ups always come with long headers so that they can be sent back as they are.
    // HEADER and VERBOSE stay out (a set-up sent back must not change how answers look), and
    // so does the acquisition state: sending a set-up does not start or stop acquiring.
    std::string text = ":DATA:SOURCE " + s.dataSource + ";DESTINATION " + s.dataDestination +
                       ";ENCDG " + EncodingName(s.outFormat, true) + ";WIDTH " +
                       FormatNr1(s.outFormat.width) + ";START " + FormatNr1(s.dataStart) +
                       ";STOP " + FormatNr1(s.dataStop) + ";:HORIZONTAL:RECORDLENGTH " +
                       FormatNr1(s.recordLength) + ";:ACQUIRE:STOPAFTER " +
                       (s.stopAfterSequence ? "SEQUENCE" : "RUNSTOP");
    for (const char* source :
         {"CH1", "CH2", "CH3", "CH4", "MATH", "REF1", "REF2", "REF3", "REF4"}) {
        text += std::string(";:SELECT:") + source + " " + Flag(s.displayed[source]);
    }
    s.AnswerRaw(text + ";" + PanelSetupText(s.panel));
}

// --- automatic measurements ----------------------------------------------------------------

MeasurementSlot& SlotOf(State& s, const Call& call) {
    return s.measurements[std::min<std::size_t>(call.chosen[1], s.measurements.size() - 1)];
}

void MeasurementType(State& s, const Call& call) {
    MeasurementSlot& slot = SlotOf(s, call);
    if (call.command.query) {
        std::string answer = slot.type;
        if (!s.verbose) {
            for (std::string_view type : MeasurementTypes()) {
                if (LongForm(type) == slot.type) {
                    answer = ShortForm(type);
                }
            }
        }
        s.Answer(call, slot.type == "NONE" && !s.verbose ? "NON" : answer);
        return;
    }
    const std::string argument = FirstArgument(call);
    if (MatchesMnemonic("NONe", argument)) {
        slot.type = "NONE";
        return;
    }
    for (std::string_view type : MeasurementTypes()) {
        if (MatchesMnemonic(type, argument)) {
            slot.type = LongForm(type);
            return;
        }
    }
    Illegal(s);
}

void MeasurementSource(State& s, const Call& call) {
    MeasurementSlot& slot = SlotOf(s, call);
    if (call.command.query) {
        s.Answer(call, slot.source);
        return;
    }
    const std::string source = s.CanonicalSource(FirstArgument(call));
    if (source.empty()) {
        Illegal(s);
        return;
    }
    slot.source = source;
}

void MeasurementState(State& s, const Call& call) {
    MeasurementSlot& slot = SlotOf(s, call);
    if (call.command.query) {
        s.Answer(call, Flag(slot.on));
        return;
    }
    if (const auto on = ParseSwitch(FirstArgument(call))) {
        slot.on = *on;
    } else {
        Illegal(s);
    }
}

void MeasurementValue(State& s, const Call& call) {
    const MeasurementSlot& slot = SlotOf(s, call);
    // 9.9E37: the instruments' answer when there is no valid value.
    const std::optional<double> value = s.MeasureSlot(slot);
    if (!value || s.TakeInvalidResult()) {
        s.Answer(call, "9.9E37");
        return;
    }
    // The signal drifts slowly, so successive readings differ the way a real one's do.
    const double drifted =
        *value * ReadingDrift(s.config.seed, static_cast<int>(call.chosen[1]), s.ElapsedSeconds());
    // Five significant digits, as the instruments show them.
    char rounded[32];
    std::snprintf(rounded, sizeof rounded, "%.4e", drifted);
    s.Answer(call, FormatNr3(std::strtod(rounded, nullptr)));
}

void MeasurementUnits(State& s, const Call& call) {
    s.Answer(call, "\"" + MeasurementUnit(SlotOf(s, call).type) + "\"");
}

// --- waveform memories and the instrument file system -----------------------------------------

std::string FileKey(std::string_view name) {
    return ToUpper(Unquote(name));
}

bool IsQuoted(std::string_view text) {
    text = Trim(text);
    return !text.empty() && (text.front() == '"' || text.front() == '\'');
}

void SaveWaveform(State& s, const Call& call) {
    if (call.arguments.size() != 2) {
        Illegal(s);
        return;
    }
    const std::string source = s.CanonicalSource(call.arguments[0]);
    if (source.empty()) {
        Illegal(s);
        return;
    }
    if (IsQuoted(call.arguments[1])) {
        s.files[FileKey(call.arguments[1])] = s.WaveformFile(source);
        return;
    }
    const std::string target = s.CanonicalSource(call.arguments[1]);
    if (target.rfind("REF", 0) != 0) {
        Illegal(s);
        return;
    }
    Reference copy{s.Levels(source), s.ScaleOf(source)};
    s.references[static_cast<std::size_t>(target[3] - '1')] = std::move(copy);
}

void SaveFileFormat(State& s, const Call& call) {
    if (call.command.query) {
        s.Answer(call, s.saveFileFormat);
        return;
    }
    const std::string argument = FirstArgument(call);
    if (MatchesMnemonic("INTERNal", argument)) {
        s.saveFileFormat = "INTERNAL";
    } else if (MatchesMnemonic("SPREADSheet", argument)) {
        s.saveFileFormat = "SPREADSHEET";
    } else {
        Illegal(s);
    }
}

void FilesPrint(State& s, const Call& call) {
    // "FILES:PRI \"c:\\KTX.TMP\", GPIB": the file's bytes go out as the answer.
    const auto file = s.files.find(FileKey(FirstArgument(call)));
    if (file == s.files.end()) {
        s.Error(-256, "File name not found");
        return;
    }
    s.AnswerRaw(file->second);
}

void FilesWrite(State& s, const Call& call) {
    // The file's bytes follow the name unchanged; a definite block is unwrapped.
    const std::string& text = call.command.arguments;
    std::size_t comma = std::string::npos;
    char quote = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (quote != 0) {
            quote = text[i] == quote ? 0 : quote;
        } else if (text[i] == '"' || text[i] == '\'') {
            quote = text[i];
        } else if (text[i] == ',') {
            comma = i;
            break;
        }
    }
    if (comma == std::string::npos) {
        Illegal(s);
        return;
    }
    std::string_view data = std::string_view(text).substr(comma + 1);
    std::size_t offset = 0;
    std::size_t length = 0;
    if (ParseBlockHeader(data, offset, length) && offset + length >= data.size()) {
        data = data.substr(offset, length);
    }
    s.files[FileKey(text.substr(0, comma))] = std::string(data);
}

void RecallWaveform(State& s, const Call& call) {
    if (call.arguments.size() != 2) {
        Illegal(s);
        return;
    }
    const std::string target = s.CanonicalSource(call.arguments[1]);
    if (target.rfind("REF", 0) != 0) {
        Illegal(s);
        return;
    }
    const auto file = s.files.find(FileKey(call.arguments[0]));
    if (file == s.files.end()) {
        s.Error(-256, "File name not found");
        return;
    }
    // The stored file is commands ("...;:CURVE #..."): run them with its curve going to the
    // target reference.
    const std::string savedDestination = s.dataDestination;
    s.dataDestination = target;
    s.RunCommandText(file->second);
    s.dataDestination = savedDestination;
}

void FilesDirectory(State& s, const Call& call) {
    std::string text;
    for (const auto& [name, bytes] : s.files) {
        text += (text.empty() ? "\"" : ",\"") + name + "\"";
    }
    s.Answer(call, text);
}

// --- simulator-only switches ------------------------------------------------------------

void SimFault(State& s, const Call& call) {
    if (call.command.query) {
        std::string text;
        text += s.Faults().silent ? "SILENT," : "";
        text += s.Faults().garbage ? "GARBAGE," : "";
        text += s.Faults().truncateBlock ? "TRUNCATE," : "";
        s.Answer(call, text.empty() ? "NONE" : text.substr(0, text.size() - 1));
        return;
    }
    const std::string argument = FirstArgument(call);
    if (MatchesMnemonic("SILent", argument)) {
        s.Faults().silent = true;
    } else if (MatchesMnemonic("GARbage", argument)) {
        s.Faults().garbage = true;
    } else if (MatchesMnemonic("TRUNcate", argument)) {
        s.Faults().truncateBlock = true;
    } else if (MatchesMnemonic("NONe", argument)) {
        s.Faults().silent = s.Faults().garbage = s.Faults().truncateBlock = false;
    } else {
        Illegal(s);
    }
}

// KTXSIM:DELay, DROP and DRIP: one numeric carrier switch of this connection.
void CarrierSwitch(State& s, const Call& call, FaultSwitch which) {
    if (call.command.query) {
        s.Answer(call, FormatNr1(FaultSwitchValue(s.Faults(), which)));
        return;
    }
    const auto value = ParseInteger(FirstArgument(call));
    if (!value) {
        Illegal(s);
        return;
    }
    SetFaultSwitch(s.Faults(), which, *value);
}

void SimDelay(State& s, const Call& call) {
    CarrierSwitch(s, call, FaultSwitch::Delay);
}
void SimDrop(State& s, const Call& call) {
    CarrierSwitch(s, call, FaultSwitch::DropAfter);
}
void SimDrip(State& s, const Call& call) {
    CarrierSwitch(s, call, FaultSwitch::Drip);
}
void SimInvalid(State& s, const Call& call) {
    CarrierSwitch(s, call, FaultSwitch::Invalid);
}
void SimSequenceDelay(State& s, const Call& call) {
    CarrierSwitch(s, call, FaultSwitch::SequenceDelay);
}

// KTXSIM:CLOCK <seconds> holds the instrument's clock there (values that drift with time
// become repeatable), KTXSIM:CLOCK RUN lets it run on from where it stands.
void SimClock(State& s, const Call& call) {
    if (call.command.query) {
        char text[32];
        std::snprintf(text, sizeof text, "%.3f", s.ElapsedSeconds());
        s.Answer(call, text);
        return;
    }
    const std::string argument = FirstArgument(call);
    if (MatchesMnemonic("RUN", argument)) {
        if (s.clockHeld) {
            s.clockStart = std::chrono::steady_clock::now() -
                           std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                               std::chrono::duration<double>(*s.clockHeld));
            s.clockHeld.reset();
        }
        return;
    }
    char* end = nullptr;
    const double seconds = std::strtod(argument.c_str(), &end);
    if (argument.empty() || end == nullptr || *end != '\0' || !(seconds >= 0.0) || seconds > 1e9) {
        Illegal(s);
        return;
    }
    s.clockHeld = seconds;
}

void SimClose(State& s, const Call& call) {
    CarrierSwitch(s, call, FaultSwitch::CloseMid);
}

void SimLog(State& s, const Call& call) {
    if (call.command.query) {
        std::string text;
        for (const std::string& entry : s.commandLog) {
            text += entry;
            text += '\n';
        }
        const std::string length = std::to_string(text.size());
        s.AnswerRaw("#" + std::to_string(length.size()) + length + text);
        return;
    }
    if (MatchesMnemonic("CLEar", FirstArgument(call))) {
        s.commandLog.clear();
    } else {
        Illegal(s);
    }
}

std::vector<CommandEntry> BuildTable() {
    const std::string sourceKey = std::string("WFMPre:") + kSources + ":" + kKeys;
    const std::string wfmKey = std::string("WFMPre:") + kKeys;
    const std::string outKey = std::string("WFMOutpre:") + kKeys;
    const std::string inKey = std::string("WFMInpre:") + kKeys;
    const std::string wholeSource = std::string("WFMPre:") + kSources;
    const std::string select = std::string("SELect:") + kSources;
    // The patterns built above must outlive the table: keep them in static strings.
    const std::string slot = "MEASUrement:IMMed|MEAS1|MEAS2|MEAS3|MEAS4:";
    static const std::string kPatterns[] = {
        sourceKey,      wfmKey,         outKey,        inKey,
        wholeSource,    select,         slot + "TYPe", slot + "SOUrce|SOUrce1",
        slot + "STATE", slot + "VALue", slot + "UNIts"};
    std::vector<CommandEntry> table = {
        {"*IDN", false, true, IdnQuery, {}},
        {"ID", false, true, IdQuery, {}},
        {"!V", false, true, HandheldVersionQuery, {}},
        {"COMU", false, true, CommunicationQuery, {}},
        {"*RST", true, false, Rst, {}},
        {"*CLS", true, false, Cls, {}},
        {"*ESR", false, true, EsrQuery, {}},
        {"*OPC", true, true, OpcQuery, {}},
        {"*WAI", true, false, Nothing, {}},
        {"ALLEv", false, true, AllEventsQuery, {}},
        {"HEADer", true, true, Header, {}},
        {"VERBose", true, true, Verbose, {}},
        {"CURVe", true, true, Curve, {}},
        {"DATa", true, true, Data, {}},
        {"DATa:SOUrce", true, true, DataSource, {}},
        {"DATa:ENCdg", true, true, DataEncoding, {}},
        {"DATa:WIDth", true, true, DataWidth, {}},
        {"DATa:STARt", true, true, DataStart, {}},
        {"DATa:STOP", true, true, DataStop, {}},
        {"DATa:DESTination", true, true, DataDestination, {}},
        {"WFMPre", false, true, WholePreamble, {}},
        {"WFMOutpre", false, true, WholePreamble, {}},
        {kPatterns[4].c_str(), false, true, WholePreamble, {}},
        {kPatterns[0].c_str(), true, true, PreambleField, {}},
        {kPatterns[1].c_str(), true, true, PreambleField, {}},
        {kPatterns[2].c_str(), true, true, PreambleField, {}},
        {kPatterns[3].c_str(), true, true, PreambleField, {}},
        // The program sends "WFMW:BYT_NR 2" for two-byte input; taken as WFMInpre:BYT_Nr.
        {"WFMW:BYT_Nr", true, false, PreambleField, {}},
        {"HORizontal:RECOrdlength", true, true, RecordLength, {}},
        {"HORizontal:ACQLENGTH", false, true, AcquisitionLength, {}},
        {"ACQuire:STATE", true, true, AcquireState, {}},
        {"ACQuire:STOPAfter", true, true, AcquireStopAfter, {}},
        {"ACQuire:NUMACq", false, true, AcquisitionCount, {}},
        {"TRIGger:STATE", false, true, TriggerState, {}},
        {kPatterns[5].c_str(), true, true, Select, {}},
        {"DISplay:MODe", true, true, DisplayMode, {}},
        {kPatterns[6].c_str(), true, true, MeasurementType, {}},
        {kPatterns[7].c_str(), true, true, MeasurementSource, {}},
        {kPatterns[8].c_str(), true, true, MeasurementState, {}},
        {kPatterns[9].c_str(), false, true, MeasurementValue, {}},
        {kPatterns[10].c_str(), false, true, MeasurementUnits, {}},
        {"AUTOSet", true, false, Nothing, {}},
        {"CLEARMenu", true, false, Nothing, {}},
        {"FACtory", true, false, Factory, {}},
        {"SET", false, true, Setup, {}},
        {"*LRN", false, true, Setup, {}},
        {"SAVe:WAVEform", true, false, SaveWaveform, {}},
        {"SAVe:WAVEform:FILEFormat", true, true, SaveFileFormat, {}},
        {"FILESystem:PRInt", true, false, FilesPrint, {}},
        {"FILESystem:WRITEFile", true, false, FilesWrite, {}},
        {"FILESystem:DIR", false, true, FilesDirectory, {}},
        {"RECAll:WAVEform", true, false, RecallWaveform, {}},
        {"KTXSIM:FAULt", true, true, SimFault, {}},
        {"KTXSIM:DELay", true, true, SimDelay, {}},
        {"KTXSIM:DROP", true, true, SimDrop, {}},
        {"KTXSIM:DRIP", true, true, SimDrip, {}},
        {"KTXSIM:CLOSe", true, true, SimClose, {}},
        {"KTXSIM:LOG", true, true, SimLog, {}},
        {"KTXSIM:INVALid", true, true, SimInvalid, {}},
        {"KTXSIM:SEQuence:DELay", true, true, SimSequenceDelay, {}},
        {"KTXSIM:CLOCk", true, true, SimClock, {}},
    };
    AppendMeterCommands(table);
    AppendHandheldCommands(table);
    AppendPictureCommands(table);
    AppendPanelCommands(table);
    for (CommandEntry& entry : table) {
        std::string_view pattern = entry.pattern;
        while (true) {
            const std::size_t colon = pattern.find(':');
            std::string_view component = pattern.substr(0, colon);
            std::vector<std::string> alternatives;
            while (true) {
                const std::size_t bar = component.find('|');
                alternatives.emplace_back(component.substr(0, bar));
                if (bar == std::string_view::npos) {
                    break;
                }
                component.remove_prefix(bar + 1);
            }
            entry.alternatives.push_back(std::move(alternatives));
            if (colon == std::string_view::npos) {
                break;
            }
            pattern.remove_prefix(colon + 1);
        }
    }
    return table;
}

}  // namespace

const std::vector<CommandEntry>& CommandTable() {
    static const std::vector<CommandEntry> kTable = BuildTable();
    return kTable;
}

}  // namespace ktx::sim
