// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/message_catalog.h"

#include <algorithm>
#include <array>
#include <utility>

namespace ktx {
namespace {

struct Entry {
    int id;
    std::string_view text;
};

// Sorted by id; looked up by binary search.
constexpr Entry kStrings[] = {
    // Measurement items of the waveform view (not messages: their own ids).
    {100, "Differenz"},
    {101, "Frequenz"},
    {102, "Minimum"},
    {103, "Maximum"},
    {104, "Mittelwert"},
    {105, "RMS"},
    {106, "PK2PK"},
    {107, "Cycle Area"},
    {108, "Summe"},
    // Validator of instrument definition files (1000 + k).
    {1001, "kein Devicename"},
    {1002, "ungültiger Devicetyp"},
    {1003, "ungültiger Eintrag für INTERFACE RS232"},
    {1004, "ungültiger Eintrag für INTERFACE GPIB"},
    {1005, "ungültiger Eintrag für MEMORY SIZE"},
    {1006, "ungültiger Eintrag für MEMORY ITEMCNT"},
    {1007, "ungültiger Eintrag für MEMORY I"},
    {1008, "ungültiger Eintrag für SOURCES COUNT"},
    {1009, "ungültiger Eintrag für SOURCES S"},
    {1010, "ungültiger Eintrag für MEASURES COUNT"},
    {1011, "ungültiger Eintrag für MEASURES M"},
    {1012, "ungültiger Eintrag für MEASDMM COUNT"},
    {1013, "ungültiger Eintrag für MEASDMM LOGCOUNT"},
    {1014, "ungültiger Eintrag für MEASDMM D"},
    {1015, "ungültiger Eintrag für MEASDMM V"},
    {1016, "ungültiger Eintrag für MEASDMM S"},
    {1017, "ungültiger Eintrag für ACQUDMM COUNT"},
    {1018, "ungültiger Eintrag für ACQUDMM A"},
    {1019, "ungültiger Eintrag für TIMEDMM COUNT"},
    // The instrument definition files of the field know these two keys by this spelling.
    {1020, "ungültiger Eintrag für TEMEDMM S"},
    {1021, "ungültiger Eintrag für TEMEDMM T"},
    {1022, "ungültiger Eintrag für RANGEACV COUNT"},
    {1023, "ungültiger Eintrag für RANGEACV S"},
    {1024, "ungültiger Eintrag für RANGEACV R"},
    {1025, "ungültiger Eintrag für RANGEDCV COUNT"},
    {1026, "ungültiger Eintrag für RANGEDCV S"},
    {1027, "ungültiger Eintrag für RANGEDCV R"},
    {1028, "ungültiger Eintrag für RANGEOHMS COUNT"},
    {1029, "ungültiger Eintrag für RANGEOHMS S"},
    {1030, "ungültiger Eintrag für RANGEOHMS R"},
    {1031, "ungültiger Eintrag für MEASDMM COUNT"},
    {1032, "ungültiger Eintrag für MEASDMM RANGECOUNT"},
    {1033, "ungültiger Eintrag für MEASDMM LOGCOUNT"},
    {1034, "ungültiger Eintrag für MEASDMM D"},
    {1035, "ungültiger Eintrag für MEASDMM S"},
    {1036, "ungültiger Eintrag für MEASDMM V"},
    {1037, "ungültiger Eintrag für RANGEV COUNT"},
    {1038, "ungültiger Eintrag für RANGEV S"},
    {1039, "ungültiger Eintrag für RANGEV R"},
    {1040, "ungültiger Eintrag für RANGEA COUNT"},
    {1041, "ungültiger Eintrag für RANGEA S"},
    {1042, "ungültiger Eintrag für RANGEA R"},
    {1043, "ungültiger Eintrag für RANGEOHM COUNT"},
    {1044, "ungültiger Eintrag für RANGEOHM S"},
    {1045, "ungültiger Eintrag für RANGEOHM R"},
    {1046, "ungültiger Eintrag für RANGEF COUNT"},
    {1047, "ungültiger Eintrag für RANGEF S"},
    {1048, "ungültiger Eintrag für RANGEF R"},
    {1049, "ungültiger Eintrag für RANGE°C COUNT"},
    {1050, "ungültiger Eintrag für RANGE°C S"},
    {1051, "ungültiger Eintrag für RANGE°C R"},
    {1052, "ungültiger Eintrag für RANGE°F COUNT"},
    {1053, "ungültiger Eintrag für RANGE°F S"},
    {1054, "ungültiger Eintrag für RANGE°F R"},
    {1055, "ungültiger Eintrag für RANGEHZ COUNT"},
    {1056, "ungültiger Eintrag für RANGEHZ S"},
    {1057, "ungültiger Eintrag für RANGEHZ R"},
    {1058, "ungültiger Eintrag für RS232 CONFIG"},
    {1059, "ungültiger Eintrag für CONVLIB NAME"},
    {1060, "ungültiger Eintrag für SOURCES WRITE"},

    // Operating modes in the status line.
    {2060, "Oscilloscope"},
    {2061, "DMM"},

    // Acquisition modes of the multimeter's logger ("Messwerterfassung").
    {2090, "SAM"},
    {2091, "PEAK"},
    {2092, "AVE"},

    // Acquisition modes of the "Acquire" dialog (mode k is 2094 + k).
    {2095, "SAM"},
    {2096, "PEAK"},
    {2097, "ENV"},
    {2098, "AVE"},
    {2099, "HIR"},

    // Messages (10000 + n).
    {10001, "Fehler bei der Umwandlung des Exponenten!"},
    {10002, "Fehler bei der Umwandlung des Exponenten!"},
    {10003, "in der Routine \"Hoch 10\"!"},
    {10004, "Fehler bei Umwandlung"},
    {10005, "IO- Bibliothek konnte nicht geladen werden"},
    {10006, "keine gültige Schnittstelle"},
    {10007, "Dateizugriff verweigert"},
    {10008, "Schreibfehler"},
    {10009, "laden Bitmap"},
    {10010, "schreiben Bitmap"},
    {10011, "nicht genug Speicher"},
    {10012, "ungültiges Dateiformat"},
    {10013, "ungültige Quelle"},
    {10014, "keine gültige Auswahl"},
    {10015, "Speicherbereich zu groß"},
    {10016, "INI-Datei konnte nicht geschrieben werden"},
    {10017, "keine Messung möglich"},
    {10018, "nur ein DMM-Kanal verfügbar"},
    {10019, "Messung für diese Quelle nicht mögl."},
    {10020, "Fehlerhafte Zeitangabe"},
    {10021, "kein Kanal aktiv"},
    {10022, "Datei nicht gefunden"},
    {10023, "ungültiger Startwert"},
    {10024, "ungültiger Stopwert"},
    {10025, "nicht genug freier Diskettenspeicher"},
    {10026, "Messbereich konnte nicht gelesen werden"},
    {10027, "Status konnte nicht gelesen werden"},
    {10028, "Messbereich konnte nicht geschrieben werden"},
    {10029, "Satus konnte nicht geschrieben werden"},
    {10030, "Acquire konnte nicht geschrieben werden"},
    {10031, "Ausgabe fehlgeschlagen"},
    {10032, "Es ist eine Exception aufgetreten:"},
    {10033, "Quelle enthält keine Daten"},
    {10034, "Operation fehlgeschlagen"},
    {10035, "Autosetup"},
    {10036, "Factorysetup"},
    {10037, "Einlesen Setup"},
    {10038, "Ausgeben Setup"},
    {10039, "Modus konnte nicht gelesen werden"},
    {10040, "Bild konnte nicht gelesen werden"},
    {10041, "Schreibfehler"},
    {10042, "ungültiger Dateiname:"},
    {10043, "ungültiger Startwert:"},
    {10044, "ungültiger Stopwert:"},
    {10045, "Anzeige- Bibliothek konnte nicht geladen werden"},

    // Interface errors: GPIB driver error n as 100 + n, then the library's own errors.
    {10100, "DOS-Fehler"},
    {10101, "Funktion erfordert GPIB-Karte als CIC"},
    {10102, "Handshake-Fehler beim Schreiben"},
    {10103, "GPIB-Karte nicht korrekt adressiert"},
    {10104, "Ungültiges Argument im Funktionsaufruf"},
    {10105, "GPIB-Karte ist nicht Systemcontroller"},
    {10106, "I/O-Operation abgebrochen"},
    {10107, "GPIB-Karte nicht vorhanden"},
    {10110, "Asynchrone I/O-Operation in Arbeit"},
    {10111, "Operation kann nicht ausgeführt werden"},
    {10112, "Dateisystem-Fehler"},
    {10113, "Fehler Datei Lesen GPIB"},
    {10114, "GPIB-Busfehler"},
    {10115, "Fehler der Serial-Poll Statusschlange"},
    {10140, "Gerät nicht gefunden"},
    {10141, "INI- Datei konnte nicht geschrieben werden"},
    {10142, "Ungültige GPIB Adresse"},
    {10200, "IO Error Nr.: "},
    {10201, "INI- Datei konnte nicht geschrieben werden"},
    {10202, "Ungültiger Initialisierungsstring"},
    {10203, "Schnittstelle konnte nicht geöffnet werden"},
    {10204, "Schnittstelle konnte nicht initialisiert werden "},
    {10205, "TIMEOUT write"},
    {10206, "TIMEOUT read"},
    {10207, "Datei konnte nicht geschrieben werden"},
    {10208, "TIMEOUT writefile"},
    {10209, "Schnittstelle konnte nicht geschlossen werden"},
    // Causes of a failed exchange, added to the messages above where the user reads them
    // (status line, Memo1, the command line's error stream). "%1"/"%2" take the numbers.
    {10250, "Zeitüberschreitung nach %1 ms"},
    {10251, "Verbindung vom Gerät geschlossen"},
    {10252, "Verbindung abgelehnt"},
    {10253, "Gerät belegt"},
    {10254, "Block kürzer als angekündigt: %1 von %2 Bytes"},
    {10255, "Größengrenze von %1 Bytes erreicht"},
    {10256, "Größengrenze von %1 Bytes erreicht (angekündigt: %2 Bytes)"},
    {10257, "ungültige Schnittstelleneinstellungen"},
    {10258, "Treiber nicht installiert"},
    {10259, "Antwort ist kein gültiger Datenblock"},
    {10260, "Dateifehler:"},
    {10261, "keine Verbindung geöffnet"},
    {10262, "Ursache:"},

    {10300, "Bitte Schnittstellenauswahl überprüfen"},
    {10301, "Gerät nicht angeschlossen"},
    {10302, "Format noch nicht implementiert"},
    {10303, "Soll existierende Datei überschrieben werden?"},
    {10304, "kein Fenster aktiv"},
    {10305, "Kommentar wurde geändert. Speichern?"},
    {10306, "Soll die existierende Datei überschrieben werden:"},
    {10307, "Anzahl der gelesenen Werte: "},
    {10308, "Gerät antwortet nicht, wiederholen?"},
    {10309, "Dateilänge unterschiedlich!"},
    {10310, "Zieldatei zu lang, bitte Viewer benutzen!"},
    {10311, "Modul nicht vorhanden"},
    // The data logger's time field holds 255 hours; it stops rather than write wrong times.
    {10330, "Aufzeichnung nach 255 Stunden beendet (längste Logdauer)"},

    // Captions and readout texts of the views.
    {10510, "Wert1: "},
    {10511, "  Zeit: "},
    {10512, "Wert2: "},
    {10513, "Y-Wert1: "},
    {10514, "Y-Wert2: "},
    {10515, "  X-Wert1: "},
    {10516, "  X-Wert2: "},
    {10517, "Datum: "},
    {10600, "aktuelles Bild"},
    {10700, "komprimiere Datei"},
    {10701, "kopiere Datenbereich"},
    {10703, "Ausschnitt von "},
    // A file of several records or FastFrame frames: "Kurve 1 von 5".
    {10704, "Kurve "},
    {10705, " von "},
};

constexpr bool IsSorted() {
    for (std::size_t i = 1; i < std::size(kStrings); ++i) {
        if (kStrings[i - 1].id >= kStrings[i].id) {
            return false;
        }
    }
    return true;
}
static_assert(IsSorted(), "string table must be sorted by id without duplicates");

}  // namespace

std::string_view MessageCatalog::String(int id) {
    const auto* end = std::end(kStrings);
    const auto* it = std::lower_bound(std::begin(kStrings), end, id,
                                      [](const Entry& e, int key) { return e.id < key; });
    if (it == end || it->id != id) {
        return {};
    }
    return it->text;
}

}  // namespace ktx
