// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/widgets/engine_text.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace {

constexpr const char* context = "engine";

// Replaced longest first, so that a piece inside another is never
// replaced in its middle.
constexpr std::array pieces{
    QT_TRANSLATE_NOOP("engine", "drei Zahlen erwartet (Frequenz in Hz, |Z| in Ohm, Phase in Grad)"),
    QT_TRANSLATE_NOOP("engine", "keine Kalibrierung des Impedanzanalysators (Version 1)"),
    QT_TRANSLATE_NOOP("engine", "Datei zu groß für eine Kalibrierung (über 32 MB)"),
    QT_TRANSLATE_NOOP("engine", "Stoppfrequenz nicht über der Startfrequenz"),
    QT_TRANSLATE_NOOP("engine", "\"unknown\" oder drei Streuungen erwartet"),
    QT_TRANSLATE_NOOP("engine", "keine Streuung (Varianzen, Kovarianz)"),
    QT_TRANSLATE_NOOP("engine", "Punkte je Oktave: 6, 12, 24 oder 48"),
    QT_TRANSLATE_NOOP("engine", "Referenz 0 bis 5 erwartet"),
    QT_TRANSLATE_NOOP("engine", "\"-\" als Referenz erwartet"),
    QT_TRANSLATE_NOOP("engine", "6 oder 8 Felder erwartet"),
    QT_TRANSLATE_NOOP("engine", "Frequenz nicht steigend"),
    QT_TRANSLATE_NOOP("engine", "keine positive Frequenz"),
    QT_TRANSLATE_NOOP("engine", "Frequenz nicht positiv"),
    QT_TRANSLATE_NOOP("engine", "mehr als 100000 Punkte"),
    QT_TRANSLATE_NOOP("engine", "Phase außerhalb ±180°"),
    QT_TRANSLATE_NOOP("engine", "Datei größer als 8 MB"),
    QT_TRANSLATE_NOOP("engine", "Startfrequenz unter"),
    QT_TRANSLATE_NOOP("engine", "kein endlicher Wert"),
    QT_TRANSLATE_NOOP("engine", "Stoppfrequenz über"),
    QT_TRANSLATE_NOOP("engine", "unbekannte Tabelle"),
    QT_TRANSLATE_NOOP("engine", "keine Abtastrate"),
    QT_TRANSLATE_NOOP("engine", "\" ist keine Zahl"),
    QT_TRANSLATE_NOOP("engine", "keine Textzeile"),
    QT_TRANSLATE_NOOP("engine", "Eintrag doppelt"),
    QT_TRANSLATE_NOOP("engine", "keine Punkte"),
    QT_TRANSLATE_NOOP("engine", "|Z| negativ"),
    QT_TRANSLATE_NOOP("engine", "kein eingeschwungener Messwert mit dem Multiton"),
    QT_TRANSLATE_NOOP("engine", " (beschreibt die Kurve nur näherungsweise)"),
    QT_TRANSLATE_NOOP("engine", "keine Streuungen einer Quarvel-Kalibrierung (Version 1)"),
    QT_TRANSLATE_NOOP("engine", "keine Streuung eines Kalibrierwerts"),
    QT_TRANSLATE_NOOP("engine", "Datei zu groß für Streuungen (über 1 MB)"),
    QT_TRANSLATE_NOOP("engine", "kein eingeschwungener Messwert bei"),
    QT_TRANSLATE_NOOP("engine", "kein eingeschwungener Messwert (Aufbau, Ton oder Tonstrom unruhig)"),
    QT_TRANSLATE_NOOP("engine", "bekannter Widerstand nicht vom Leerlauf zu unterscheiden"),
    QT_TRANSLATE_NOOP("engine", "kein Leerlaufwert in diesem Lauf (zuerst Modus 2)"),
    QT_TRANSLATE_NOOP("engine", "Messwert des bekannten Widerstands unbrauchbar"),
    QT_TRANSLATE_NOOP("engine", "' ist kein gültiger Gleitkommawert"),
    QT_TRANSLATE_NOOP("engine", "bekannter Widerstand ungültig"),
    QT_TRANSLATE_NOOP("engine", "Messwert nicht endlich, nichts gespeichert"),
    QT_TRANSLATE_NOOP("engine", "keine Ersatzschaltung passt"),
    QT_TRANSLATE_NOOP("engine", "Scheinwiderstand, Impedanz"),
    QT_TRANSLATE_NOOP("engine", "Scheinleitwert, Admittanz"),
    QT_TRANSLATE_NOOP("engine", "Wirkwiderstand, Resistanz"),
    QT_TRANSLATE_NOOP("engine", "Blindwiderstand, Reaktanz"),
    QT_TRANSLATE_NOOP("engine", "Wirkleitwert, Konduktanz"),
    QT_TRANSLATE_NOOP("engine", "Blindleitwert, Suszeptanz"),
    QT_TRANSLATE_NOOP("engine", "O-G Kanalübersprechen"),
    QT_TRANSLATE_NOOP("engine", "G-O Kanalsymmetrie"),
    QT_TRANSLATE_NOOP("engine", "R-O Parallelwiderstand"),
    QT_TRANSLATE_NOOP("engine", "R-G Reihenwiderstand"),
    QT_TRANSLATE_NOOP("engine", "R-R Referenzwiderstand"),
    QT_TRANSLATE_NOOP("engine", ", Parallelschaltung"),
    QT_TRANSLATE_NOOP("engine", ", Reihenschaltung"),
    QT_TRANSLATE_NOOP("engine", "Verlustfaktor"),
    QT_TRANSLATE_NOOP("engine", "Phasenwinkel"),
    QT_TRANSLATE_NOOP("engine", "Induktivität"),
    QT_TRANSLATE_NOOP("engine", "Eigenresonanz"),
    QT_TRANSLATE_NOOP("engine", "Güte"),
    QT_TRANSLATE_NOOP("engine", "Reihe R-L-C"),
    QT_TRANSLATE_NOOP("engine", "Kapazität"),
    QT_TRANSLATE_NOOP("engine", "Reihe R-C"),
    QT_TRANSLATE_NOOP("engine", "Reihe R-L"),
    QT_TRANSLATE_NOOP("engine", "E/A-Fehler"),
    QT_TRANSLATE_NOOP("engine", "Zeile"),
    // A loudspeaker's parameters refused.
    QT_TRANSLATE_NOOP("engine", "Re muss positiv sein, seine Toleranz nicht negativ"),
    QT_TRANSLATE_NOOP("engine", "Temperatur außerhalb −40 … 60 °C"),
    QT_TRANSLATE_NOOP("engine", "Masse muss positiv sein, ihre Toleranz nicht negativ"),
    QT_TRANSLATE_NOOP("engine", "Volumen muss positiv sein, seine Toleranz nicht negativ"),
    QT_TRANSLATE_NOOP("engine", "Membranfläche Sd fehlt"),
    QT_TRANSLATE_NOOP("engine", "Membranfläche muss positiv sein, ihre Toleranz nicht negativ"),
    QT_TRANSLATE_NOOP("engine", "mit Zusatzmasse liegt die Resonanz nicht tiefer ("),
    QT_TRANSLATE_NOOP("engine", " Hz gegen "),
    QT_TRANSLATE_NOOP("engine", " Hz frei)"),
    QT_TRANSLATE_NOOP("engine", "im Gehäuse liegt fc·Qec nicht über fs·Qes (fc = "),
    QT_TRANSLATE_NOOP("engine", "): Vas wäre nicht positiv"),
    QT_TRANSLATE_NOOP("engine", "Kurve mit Zusatzmasse: "),
    QT_TRANSLATE_NOOP("engine", "Kurve im Gehäuse: "),
    QT_TRANSLATE_NOOP("engine", "Kurven mit verschiedenen Frequenzrastern: beide im selben Raster messen"),
    QT_TRANSLATE_NOOP("engine", "Kurve ohne Zusatz: "),
    QT_TRANSLATE_NOOP("engine", "Re muss positiv sein"),
    QT_TRANSLATE_NOOP("engine", "Anpassung gelingt nicht: das Modell findet zur Kurve keine Parameter"),
    QT_TRANSLATE_NOOP("engine", "Kurve deckt fs nicht ab: die Anpassung legt fs außerhalb des Messbereichs"),
    QT_TRANSLATE_NOOP("engine", "keine Resonanz im Messbereich: |Z| hat innerhalb der Kurve keine Spitze"),
    QT_TRANSLATE_NOOP("engine", "zweite Resonanzspitze bei "),
    QT_TRANSLATE_NOOP("engine", " neben der bei "),
    QT_TRANSLATE_NOOP("engine", ": eine einzelne Resonanz beschreibt die Kurve nicht"),
    QT_TRANSLATE_NOOP("engine", "keine Resonanz im Messbereich: die Phase kreuzt um "),
    QT_TRANSLATE_NOOP("engine", " Hz nicht Null"),
    QT_TRANSLATE_NOOP("engine", ") nicht unter |Z| der Resonanz ("),
    QT_TRANSLATE_NOOP("engine",
                      "Kurve deckt die Resonanz nicht ab: oberhalb von fs fällt |Z| im Messbereich nicht auf "
                      "√(Re·Zmax); den Bereich erweitern"),
    QT_TRANSLATE_NOOP("engine",
                      "Kurve deckt die Resonanz nicht ab: unterhalb von fs fällt |Z| im Messbereich nicht "
                      "auf √(Re·Zmax); den Bereich erweitern"),
    QT_TRANSLATE_NOOP("engine", "zu wenige Punkte um fs ("),
    QT_TRANSLATE_NOOP("engine", "): mindestens "),
    QT_TRANSLATE_NOOP("engine", " zwischen "),
    QT_TRANSLATE_NOOP("engine", " Hz und "),
    QT_TRANSLATE_NOOP("engine", " Hz nötig; ein feineres Raster um fs messen"),
    QT_TRANSLATE_NOOP("engine", "Pegel zu groß ("),
    QT_TRANSLATE_NOOP("engine", " V eff. am Lautsprecher, über "),
    QT_TRANSLATE_NOOP("engine",
                      " V; Kleinsignalparameter gelten nur bei kleiner Auslenkung, mit kleinerem Pegel wiederholen"),
    QT_TRANSLATE_NOOP("engine", "Pegel zu klein ("),
    QT_TRANSLATE_NOOP("engine", "): |Z| um fs nur auf "),
    QT_TRANSLATE_NOOP("engine", " % genau (k = 2); mit größerem Pegel oder mehr Perioden wiederholen"),
    QT_TRANSLATE_NOOP("engine", "Kurve in Freiluft"),
    QT_TRANSLATE_NOOP("engine", "Kurve mit Zusatzmasse"),
    QT_TRANSLATE_NOOP("engine", "Kurve im Gehäuse"),
};

// Texts that are only ever whole and too short to be looked for inside
// others ("Gut" in "Gute", "gespeichert" in "nicht gespeichert").
constexpr std::array whole_texts{
    QT_TRANSLATE_NOOP("engine", "Grenzwertig"),
    QT_TRANSLATE_NOOP("engine", "Schlecht"),
    QT_TRANSLATE_NOOP("engine", "gespeichert"),
    QT_TRANSLATE_NOOP("engine", "Gut"),
};

QString translated(const char* german)
{
  return QCoreApplication::translate(context, german);
}

std::vector<const char*> pieces_longest_first()
{
  std::vector<const char*> sorted(pieces.begin(), pieces.end());
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const char* a, const char* b) { return std::strlen(a) > std::strlen(b); });
  return sorted;
}

// "KOhm", "KS", "KHz" as a word of their own, also inside a fit's text.
QString with_kilo_prefix(QString text)
{
  static const QRegularExpression kilo_unit(QStringLiteral("(^|[^\\w])K(Ohm|S|Hz)($|[^\\w])"));
  const QString kilo = QCoreApplication::translate("engine", "K", "kilo prefix of a unit");
  text.replace(kilo_unit, QStringLiteral("\\1") + kilo + QStringLiteral("\\2\\3"));
  return text;
}

QString from_view(std::string_view text)
{
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

QString engine_text(std::string_view german)
{
  for (const char* text : whole_texts) {
    if (german == text) return translated(text);
  }
  static const std::vector<const char*> sorted = pieces_longest_first();
  QString text = from_view(german);
  for (const char* piece : sorted) {
    const QString german_piece = QString::fromUtf8(piece);
    if (text.contains(german_piece)) text.replace(german_piece, translated(piece));
  }
  return with_kilo_prefix(text);
}

QString unit_text(std::string_view german)
{
  return with_kilo_prefix(from_view(german));
}
