<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="de">
<context>
    <name>TForm1</name>
    <message>
        <source>Quarvel Version 0.02 Professionell</source>
        <translation>Quarvel Version 0.02 Professional</translation>
    </message>
</context>
<context>
    <name>calibration_page</name>
    <message>
        <source>Kalibrierung</source>
        <translation>Calibration</translation>
    </message>
    <message>
        <source>Messung</source>
        <translation>Measurement</translation>
    </message>
    <message>
        <source>Kalibriermode</source>
        <translation>Calibration mode</translation>
    </message>
    <message>
        <source>O-G Kanalübersprechen</source>
        <translation>O-S channel crosstalk</translation>
    </message>
    <message>
        <source>G-O Kanalsymmetrie</source>
        <translation>S-O channel balance</translation>
    </message>
    <message>
        <source>R-O Parallelwiderstand</source>
        <translation>R-O parallel resistance</translation>
    </message>
    <message>
        <source>R-G Reihenwiderstand</source>
        <translation>R-S series resistance</translation>
    </message>
    <message>
        <source>R-R Referenzwiderstand</source>
        <translation>R-R reference resistor</translation>
    </message>
    <message>
        <source>Ref.-Widerst.</source>
        <translation>Ref. resistor</translation>
    </message>
    <message>
        <source>bekannter Widerstand</source>
        <translation>known resistor</translation>
    </message>
    <message>
        <source>Rp [Ohm]:</source>
        <translation>Rp [Ohm]:</translation>
    </message>
    <message>
        <source>Cp [fF]:</source>
        <translation>Cp [fF]:</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>Speichern</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>Kalibrierung verwerfen</source>
        <translation>Discard calibration</translation>
    </message>
    <message>
        <source>Zurück zur Kalibrierung, die zuletzt geladen oder gespeichert wurde (etwa nach einem versehentlichen „Kal. offen“)</source>
        <translation>Back to the calibration last loaded or saved (for instance after a mistaken “Cal. open”)</translation>
    </message>
    <message>
        <source>Multiton</source>
        <translation>Multitone</translation>
    </message>
    <message>
        <source>Alle acht Frequenzen in einem Durchgang: etwa 3 s statt 12 s, ebenso genau</source>
        <translation>All eight frequencies in one pass: about 3 s instead of 12 s, just as exact</translation>
    </message>
    <message>
        <source>Fehlerschranke</source>
        <translation>Error bound</translation>
    </message>
    <message>
        <source>Übersprechen [%] </source>
        <translation>Crosstalk [%] </translation>
    </message>
    <message>
        <source>eff. Auflösung [Bit]</source>
        <translation>eff. resolution [bit]</translation>
    </message>
    <message>
        <source>Fehler vor/nach Kalibrierung </source>
        <translation>Error before/after calibration </translation>
    </message>
    <message>
        <source>Abweichung R_Ref [%]</source>
        <translation>Deviation R_Ref [%]</translation>
    </message>
    <message>
        <source>Parasitäres Cp von R_Ref [pF]</source>
        <translation>Parasitic Cp of R_Ref [pF]</translation>
    </message>
    <message>
        <source>Parasitäres Ls von R_Ref [nH]</source>
        <translation>Parasitic Ls of R_Ref [nH]</translation>
    </message>
</context>
<context>
    <name>engine</name>
    <message>
        <source>Punkte je Oktave: 6, 12, 24 oder 48</source>
        <translation>points per octave: 6, 12, 24 or 48</translation>
    </message>
    <message>
        <source>Stoppfrequenz nicht über der Startfrequenz</source>
        <translation>stop frequency not above the start frequency</translation>
    </message>
    <message>
        <source>Startfrequenz unter</source>
        <translation>start frequency below</translation>
    </message>
    <message>
        <source>Stoppfrequenz über</source>
        <translation>stop frequency above</translation>
    </message>
    <message>
        <source>keine Abtastrate</source>
        <translation>no sample rate</translation>
    </message>
    <message>
        <source>drei Zahlen erwartet (Frequenz in Hz, |Z| in Ohm, Phase in Grad)</source>
        <translation>three numbers expected (frequency in Hz, |Z| in ohm, phase in degrees)</translation>
    </message>
    <message>
        <source>&quot; ist keine Zahl</source>
        <translation>&quot; is not a number</translation>
    </message>
    <message>
        <source>Frequenz nicht positiv</source>
        <translation>frequency not positive</translation>
    </message>
    <message>
        <source>Frequenz nicht steigend</source>
        <translation>frequency not rising</translation>
    </message>
    <message>
        <source>|Z| negativ</source>
        <translation>|Z| negative</translation>
    </message>
    <message>
        <source>Phase außerhalb ±180°</source>
        <translation>phase outside ±180°</translation>
    </message>
    <message>
        <source>Datei größer als 8 MB</source>
        <translation>file larger than 8 MB</translation>
    </message>
    <message>
        <source>keine Textzeile</source>
        <translation>not a line of text</translation>
    </message>
    <message>
        <source>mehr als 100000 Punkte</source>
        <translation>more than 100000 points</translation>
    </message>
    <message>
        <source>keine Punkte</source>
        <translation>no points</translation>
    </message>
    <message>
        <source>keine Kalibrierung des Impedanzanalysators (Version 1)</source>
        <translation>no impedance analyser calibration (version 1)</translation>
    </message>
    <message>
        <source>6 oder 8 Felder erwartet</source>
        <translation>6 or 8 fields expected</translation>
    </message>
    <message>
        <source>unbekannte Tabelle</source>
        <translation>unknown table</translation>
    </message>
    <message>
        <source>keine positive Frequenz</source>
        <translation>no positive frequency</translation>
    </message>
    <message>
        <source>Referenz 0 bis 5 erwartet</source>
        <translation>reference 0 to 5 expected</translation>
    </message>
    <message>
        <source>&quot;-&quot; als Referenz erwartet</source>
        <translation>&quot;-&quot; expected as reference</translation>
    </message>
    <message>
        <source>kein endlicher Wert</source>
        <translation>no finite value</translation>
    </message>
    <message>
        <source>&quot;unknown&quot; oder drei Streuungen erwartet</source>
        <translation>&quot;unknown&quot; or three spreads expected</translation>
    </message>
    <message>
        <source>keine Streuung (Varianzen, Kovarianz)</source>
        <translation>no spread (variances, covariance)</translation>
    </message>
    <message>
        <source>Eintrag doppelt</source>
        <translation>entry twice</translation>
    </message>
    <message>
        <source>Datei zu groß für eine Kalibrierung (über 32 MB)</source>
        <translation>file too large for a calibration (over 32 MB)</translation>
    </message>
    <message>
        <source>kein eingeschwungener Messwert mit dem Multiton</source>
        <translation>no settled reading with the multitone</translation>
    </message>
    <message>
        <source>kein eingeschwungener Messwert bei</source>
        <translation>no settled reading at</translation>
    </message>
    <message>
        <source>kein eingeschwungener Messwert (Aufbau, Ton oder Tonstrom unruhig)</source>
        <translation>no settled reading (set-up, tone or sound stream unsteady)</translation>
    </message>
    <message>
        <source>bekannter Widerstand nicht vom Leerlauf zu unterscheiden</source>
        <translation>known resistor cannot be told from the open circuit</translation>
    </message>
    <message>
        <source>kein Leerlaufwert in diesem Lauf (zuerst Modus 2)</source>
        <translation>no open-circuit value in this run (mode 2 first)</translation>
    </message>
    <message>
        <source>Messwert des bekannten Widerstands unbrauchbar</source>
        <translation>reading of the known resistor unusable</translation>
    </message>
    <message>
        <source>&apos; ist kein gültiger Gleitkommawert</source>
        <translation>&apos; is not a valid floating-point value</translation>
    </message>
    <message>
        <source>bekannter Widerstand ungültig</source>
        <translation>known resistor invalid</translation>
    </message>
    <message>
        <source>keine Ersatzschaltung passt</source>
        <translation>no equivalent circuit fits</translation>
    </message>
    <message>
        <source>Scheinwiderstand, Impedanz</source>
        <translation>Impedance</translation>
    </message>
    <message>
        <source>Scheinleitwert, Admittanz</source>
        <translation>Admittance</translation>
    </message>
    <message>
        <source>Wirkwiderstand, Resistanz</source>
        <translation>Resistance</translation>
    </message>
    <message>
        <source>Blindwiderstand, Reaktanz</source>
        <translation>Reactance</translation>
    </message>
    <message>
        <source>Wirkleitwert, Konduktanz</source>
        <translation>Conductance</translation>
    </message>
    <message>
        <source>Blindleitwert, Suszeptanz</source>
        <translation>Susceptance</translation>
    </message>
    <message>
        <source>O-G Kanalübersprechen</source>
        <translation>O-S channel crosstalk</translation>
    </message>
    <message>
        <source>G-O Kanalsymmetrie</source>
        <translation>S-O channel balance</translation>
    </message>
    <message>
        <source>R-O Parallelwiderstand</source>
        <translation>R-O parallel resistance</translation>
    </message>
    <message>
        <source>R-G Reihenwiderstand</source>
        <translation>R-S series resistance</translation>
    </message>
    <message>
        <source>R-R Referenzwiderstand</source>
        <translation>R-R reference resistor</translation>
    </message>
    <message>
        <source>, Parallelschaltung</source>
        <translation>, parallel circuit</translation>
    </message>
    <message>
        <source>, Reihenschaltung</source>
        <translation>, series circuit</translation>
    </message>
    <message>
        <source>Verlustfaktor</source>
        <translation>Dissipation factor</translation>
    </message>
    <message>
        <source>Phasenwinkel</source>
        <translation>Phase angle</translation>
    </message>
    <message>
        <source>Induktivität</source>
        <translation>Inductance</translation>
    </message>
    <message>
        <source>Eigenresonanz</source>
        <translation>self-resonance</translation>
    </message>
    <message>
        <source>Güte</source>
        <translation>Quality factor</translation>
    </message>
    <message>
        <source>Reihe R-L-C</source>
        <translation>Series R-L-C</translation>
    </message>
    <message>
        <source>Kapazität</source>
        <translation>Capacitance</translation>
    </message>
    <message>
        <source>Reihe R-C</source>
        <translation>Series R-C</translation>
    </message>
    <message>
        <source>Reihe R-L</source>
        <translation>Series R-L</translation>
    </message>
    <message>
        <source>E/A-Fehler</source>
        <translation>I/O error</translation>
    </message>
    <message>
        <source>Grenzwertig</source>
        <translation>Marginal</translation>
    </message>
    <message>
        <source>Schlecht</source>
        <translation>Fail</translation>
    </message>
    <message>
        <source>gespeichert</source>
        <translation>stored</translation>
    </message>
    <message>
        <source>Gut</source>
        <translation>Pass</translation>
    </message>
    <message>
        <source>K</source>
        <comment>kilo prefix of a unit</comment>
        <translation>k</translation>
    </message>
    <message>
        <source> (beschreibt die Kurve nur näherungsweise)</source>
        <translation> (describes the curve only approximately)</translation>
    </message>
    <message>
        <source>keine Streuungen einer Quarvel-Kalibrierung (Version 1)</source>
        <translation>no spreads of a Quarvel calibration (version 1)</translation>
    </message>
    <message>
        <source>keine Streuung eines Kalibrierwerts</source>
        <translation>no spread of a calibration entry</translation>
    </message>
    <message>
        <source>Datei zu groß für Streuungen (über 1 MB)</source>
        <translation>file too large for spreads (over 1 MB)</translation>
    </message>
    <message>
        <source>Zeile</source>
        <translation>line</translation>
    </message>
    <message>
        <source>Messwert nicht endlich, nichts gespeichert</source>
        <translation>Reading not finite, nothing stored</translation>
    </message>
    <message>
        <source>Re muss positiv sein, seine Toleranz nicht negativ</source>
        <translation>Re must be positive, its tolerance not negative</translation>
    </message>
    <message>
        <source>Temperatur außerhalb −40 … 60 °C</source>
        <translation>temperature outside −40 … 60 °C</translation>
    </message>
    <message>
        <source>Masse muss positiv sein, ihre Toleranz nicht negativ</source>
        <translation>mass must be positive, its tolerance not negative</translation>
    </message>
    <message>
        <source>Volumen muss positiv sein, seine Toleranz nicht negativ</source>
        <translation>volume must be positive, its tolerance not negative</translation>
    </message>
    <message>
        <source>Membranfläche Sd fehlt</source>
        <translation>cone area Sd missing</translation>
    </message>
    <message>
        <source>Membranfläche muss positiv sein, ihre Toleranz nicht negativ</source>
        <translation>cone area must be positive, its tolerance not negative</translation>
    </message>
    <message>
        <source>mit Zusatzmasse liegt die Resonanz nicht tiefer (</source>
        <translation>with the added mass the resonance is not lower (</translation>
    </message>
    <message>
        <source> Hz gegen </source>
        <translation> Hz against </translation>
    </message>
    <message>
        <source> Hz frei)</source>
        <translation> Hz in free air)</translation>
    </message>
    <message>
        <source>im Gehäuse liegt fc·Qec nicht über fs·Qes (fc = </source>
        <translation>in the box fc·Qec is not above fs·Qes (fc = </translation>
    </message>
    <message>
        <source>): Vas wäre nicht positiv</source>
        <translation>): Vas would not be positive</translation>
    </message>
    <message>
        <source>Kurve mit Zusatzmasse: </source>
        <translation>curve with added mass: </translation>
    </message>
    <message>
        <source>Kurve im Gehäuse: </source>
        <translation>curve in the box: </translation>
    </message>
    <message>
        <source>Kurven mit verschiedenen Frequenzrastern: beide im selben Raster messen</source>
        <translation>curves on different frequency grids: measure both on the same grid</translation>
    </message>
    <message>
        <source>Kurve ohne Zusatz: </source>
        <translation>free-air curve: </translation>
    </message>
    <message>
        <source>Re muss positiv sein</source>
        <translation>Re must be positive</translation>
    </message>
    <message>
        <source>Anpassung gelingt nicht: das Modell findet zur Kurve keine Parameter</source>
        <translation>the fit fails: the model finds no parameters for the curve</translation>
    </message>
    <message>
        <source>Kurve deckt fs nicht ab: die Anpassung legt fs außerhalb des Messbereichs</source>
        <translation>the curve does not cover fs: the fit puts fs outside the measured range</translation>
    </message>
    <message>
        <source>keine Resonanz im Messbereich: |Z| hat innerhalb der Kurve keine Spitze</source>
        <translation>no resonance in the measured range: |Z| has no peak within the curve</translation>
    </message>
    <message>
        <source>zweite Resonanzspitze bei </source>
        <translation>a second resonance peak at </translation>
    </message>
    <message>
        <source> neben der bei </source>
        <translation> beside the one at </translation>
    </message>
    <message>
        <source>: eine einzelne Resonanz beschreibt die Kurve nicht</source>
        <translation>: a single resonance does not describe the curve</translation>
    </message>
    <message>
        <source>keine Resonanz im Messbereich: die Phase kreuzt um </source>
        <translation>no resonance in the measured range: the phase does not cross zero near </translation>
    </message>
    <message>
        <source> Hz nicht Null</source>
        <translation> Hz</translation>
    </message>
    <message>
        <source>) nicht unter |Z| der Resonanz (</source>
        <translation>) not below |Z| at the resonance (</translation>
    </message>
    <message>
        <source>Kurve deckt die Resonanz nicht ab: oberhalb von fs fällt |Z| im Messbereich nicht auf √(Re·Zmax); den Bereich erweitern</source>
        <translation>the curve does not cover the resonance: above fs |Z| does not fall to √(Re·Zmax) within the measured range; widen the range</translation>
    </message>
    <message>
        <source>Kurve deckt die Resonanz nicht ab: unterhalb von fs fällt |Z| im Messbereich nicht auf √(Re·Zmax); den Bereich erweitern</source>
        <translation>the curve does not cover the resonance: below fs |Z| does not fall to √(Re·Zmax) within the measured range; widen the range</translation>
    </message>
    <message>
        <source>zu wenige Punkte um fs (</source>
        <translation>too few points around fs (</translation>
    </message>
    <message>
        <source>): mindestens </source>
        <translation>): at least </translation>
    </message>
    <message>
        <source> zwischen </source>
        <translation> between </translation>
    </message>
    <message>
        <source> Hz und </source>
        <translation> Hz and </translation>
    </message>
    <message>
        <source> Hz nötig; ein feineres Raster um fs messen</source>
        <translation> Hz needed; measure a finer grid around fs</translation>
    </message>
    <message>
        <source>Pegel zu groß (</source>
        <translation>Level too high (</translation>
    </message>
    <message>
        <source> V eff. am Lautsprecher, über </source>
        <translation> V RMS across the driver, above </translation>
    </message>
    <message>
        <source> V; Kleinsignalparameter gelten nur bei kleiner Auslenkung, mit kleinerem Pegel wiederholen</source>
        <translation> V; small-signal parameters hold only for small excursions, measure again at a lower level</translation>
    </message>
    <message>
        <source>Pegel zu klein (</source>
        <translation>Level too low (</translation>
    </message>
    <message>
        <source>): |Z| um fs nur auf </source>
        <translation>): |Z| around fs only within </translation>
    </message>
    <message>
        <source> % genau (k = 2); mit größerem Pegel oder mehr Perioden wiederholen</source>
        <translation> % (k = 2); measure again at a higher level or with more periods</translation>
    </message>
    <message>
        <source>Kurve in Freiluft</source>
        <translation>free-air curve</translation>
    </message>
    <message>
        <source>Kurve mit Zusatzmasse</source>
        <translation>curve with added mass</translation>
    </message>
    <message>
        <source>Kurve im Gehäuse</source>
        <translation>curve in the box</translation>
    </message>
</context>
<context>
    <name>error_box</name>
    <message>
        <source>Ja</source>
        <translation>Yes</translation>
    </message>
    <message>
        <source>Nein</source>
        <translation>No</translation>
    </message>
</context>
<context>
    <name>export_file</name>
    <message>
        <source>nach %1 kann nicht geschrieben werden</source>
        <translation>%1 cannot be written</translation>
    </message>
</context>
<context>
    <name>impedance_page</name>
    <message>
        <source>Impedanzkurve</source>
        <translation>Impedance</translation>
    </message>
    <message>
        <source>Kurve laden …</source>
        <translation>Load curve …</translation>
    </message>
    <message>
        <source>Overlay entfernen</source>
        <translation>Remove overlay</translation>
    </message>
    <message>
        <source>Exportieren …</source>
        <translation>Export …</translation>
    </message>
    <message>
        <source>Von:</source>
        <translation>From:</translation>
    </message>
    <message>
        <source>Bis:</source>
        <translation>To:</translation>
    </message>
    <message>
        <source>Punkte je Oktave:</source>
        <translation>Points per octave:</translation>
    </message>
    <message>
        <source>Perioden:</source>
        <translation>Periods:</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>Stopp</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>Live</source>
        <translation>Live</translation>
    </message>
    <message>
        <source>Kalibrierung (Analysator)</source>
        <translation>Calibration (analyser)</translation>
    </message>
    <message>
        <source>Rp:</source>
        <translation>Rp:</translation>
    </message>
    <message>
        <source>Schritt messen</source>
        <translation>Measure step</translation>
    </message>
    <message>
        <source>Speichern</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>Kurve</source>
        <translation>Curve</translation>
    </message>
    <message>
        <source>Lautsprecher</source>
        <translation>Loudspeaker</translation>
    </message>
</context>
<context>
    <name>loudspeaker_panel</name>
    <message>
        <source>Freiluft:</source>
        <translation>Free air:</translation>
    </message>
    <message>
        <source>Kurve übernehmen</source>
        <translation>Take curve</translation>
    </message>
    <message>
        <source>Zweite Kurve:</source>
        <translation>Second curve:</translation>
    </message>
    <message>
        <source>Zusatzmasse (g)</source>
        <translation>Added mass (g)</translation>
    </message>
    <message>
        <source>Gehäuse (l)</source>
        <translation>Box (l)</translation>
    </message>
    <message>
        <source>Sd (cm²):</source>
        <translation>Sd (cm²):</translation>
    </message>
    <message>
        <source>Re (Ohm):</source>
        <translation>Re (Ohm):</translation>
    </message>
    <message>
        <source>leer: Re aus der Kurve</source>
        <translation>empty: Re from the curve</translation>
    </message>
    <message>
        <source>Temperatur (°C):</source>
        <translation>Temperature (°C):</translation>
    </message>
    <message>
        <source>Eingang (V):</source>
        <translation>Input (V):</translation>
    </message>
    <message>
        <source>Effektivspannung eines voll ausgesteuerten Sinus an den Eingängen der Karte: gibt den Pegel am Lautsprecher in Volt; leer: Pegel unbekannt</source>
        <translation>RMS voltage of a full-scale sine at the card's inputs: gives the level across the driver in volts; empty: level unknown</translation>
    </message>
    <message>
        <source>Berechnen</source>
        <translation>Compute</translation>
    </message>
    <message>
        <source>Kopieren</source>
        <translation>Copy</translation>
    </message>
    <message>
        <source>Parameter</source>
        <translation>Parameter</translation>
    </message>
    <message>
        <source>Wert</source>
        <translation>Value</translation>
    </message>
    <message>
        <source>± (k = 2)</source>
        <translation>± (k = 2)</translation>
    </message>
    <message>
        <source>Einheit</source>
        <translation>Unit</translation>
    </message>
</context>
<context>
    <name>measurement_page</name>
    <message>
        <source>LCR Messung</source>
        <translation>Measurement</translation>
    </message>
    <message>
        <source>Scheinwiderstand, Impedanz</source>
        <translation>Impedance</translation>
    </message>
    <message>
        <source>Ohm</source>
        <translation>Ohm</translation>
    </message>
    <message>
        <source>Phasenwinkel</source>
        <translation>Phase angle</translation>
    </message>
    <message>
        <source>empf. Ref.Widerstand:</source>
        <translation>rec. ref. resistor:</translation>
    </message>
    <message>
        <source>KOhm</source>
        <translation>kOhm</translation>
    </message>
    <message>
        <source>empf. Messfrequenz:</source>
        <translation>rec. test frequency:</translation>
    </message>
    <message>
        <source>Hz</source>
        <translation>Hz</translation>
    </message>
    <message>
        <source>max. Abweichung Z:</source>
        <translation>max. deviation Z:</translation>
    </message>
    <message>
        <source>max. Abweichung phi:</source>
        <translation>max. deviation phi:</translation>
    </message>
    <message>
        <source>Messung</source>
        <translation>Measurement</translation>
    </message>
    <message>
        <source>Auto</source>
        <translation>Auto</translation>
    </message>
    <message>
        <source>R ref</source>
        <translation>R ref</translation>
    </message>
    <message>
        <source>Frequenz</source>
        <translation>Frequency</translation>
    </message>
    <message>
        <source>Pegel</source>
        <translation>Level</translation>
    </message>
    <message>
        <source>FT Faktor</source>
        <translation>FT factor</translation>
    </message>
    <message>
        <source>Mittelwert</source>
        <translation>Average</translation>
    </message>
    <message>
        <source>Stopp</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>Eingangspegel</source>
        <translation>Input level</translation>
    </message>
    <message>
        <source>Kal. offen</source>
        <translation>Cal. open</translation>
    </message>
    <message>
        <source>Kal. geschlossen</source>
        <translation>Cal. shorted</translation>
    </message>
</context>
<context>
    <name>plot_page</name>
    <message>
        <source>Zeitverlauf</source>
        <translation>Time course</translation>
    </message>
    <message>
        <source>Y Position</source>
        <translation>Y position</translation>
    </message>
    <message>
        <source>Y Streckung</source>
        <translation>Y scale</translation>
    </message>
    <message>
        <source>Ka 1</source>
        <translation>Ch 1</translation>
    </message>
    <message>
        <source>Ka 2</source>
        <translation>Ch 2</translation>
    </message>
    <message>
        <source>Auto Set</source>
        <translation>Auto Set</translation>
    </message>
    <message>
        <source>Stopp</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>Export …</source>
        <translation>Export …</translation>
    </message>
    <message>
        <source>Bild …</source>
        <translation>Image …</translation>
    </message>
    <message>
        <source>Kanal 1</source>
        <translation>Chan. 1</translation>
    </message>
    <message>
        <source>Kanal 2</source>
        <translation>Chan. 2</translation>
    </message>
    <message>
        <source>Zeit: 2 s / Teilung</source>
        <translation>Time: 2 s / div.</translation>
    </message>
</context>
<context>
    <name>response_page</name>
    <message>
        <source>Frequenzgang</source>
        <translation>Response</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>Auto R ref</source>
        <translation>Auto R ref</translation>
    </message>
    <message>
        <source>Anzeige</source>
        <translation>Display</translation>
    </message>
    <message>
        <source>|Z| und phi</source>
        <translation>|Z| and phi</translation>
    </message>
    <message>
        <source>Größen der Messung</source>
        <translation>Measured quantities</translation>
    </message>
    <message>
        <source>Ersatzschaltung:</source>
        <translation>Equiv. circuit:</translation>
    </message>
    <message>
        <source>Export …</source>
        <translation>Export …</translation>
    </message>
    <message>
        <source>Bild …</source>
        <translation>Image …</translation>
    </message>
    <message>
        <source>Stopp</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>Messart:</source>
        <translation>Method:</translation>
    </message>
    <message>
        <source>Einzeltöne</source>
        <translation>Single tones</translation>
    </message>
    <message>
        <source>Multiton (live)</source>
        <translation>Multitone (live)</translation>
    </message>
</context>
<context>
    <name>setup_page</name>
    <message>
        <source>Setup/Test</source>
        <translation>Setup/Test</translation>
    </message>
    <message>
        <source>Soundeingang</source>
        <translation>Sound input</translation>
    </message>
    <message>
        <source>Soundausgang</source>
        <translation>Sound output</translation>
    </message>
    <message>
        <source>Mixereingang</source>
        <translation>Mixer input</translation>
    </message>
    <message>
        <source>Mixerausgang</source>
        <translation>Mixer output</translation>
    </message>
    <message>
        <source>Mixer aktivieren (Test 1)</source>
        <translation>Enable mixer (test 1)</translation>
    </message>
    <message>
        <source>Sampleversatz (Test 2)</source>
        <translation>Sample offset (test 2)</translation>
    </message>
    <message>
        <source>Kanäle vertauschen (Test 3)</source>
        <translation>Swap channels (test 3)</translation>
    </message>
    <message>
        <source>SCPI-Port 5025</source>
        <translation>SCPI-Port 5025</translation>
    </message>
    <message>
        <source>Fernsteuerung über TCP (SCPI) auf 127.0.0.1, Port 5025, ohne Anmeldung</source>
        <translation>Remote control over TCP (SCPI) on 127.0.0.1, port 5025, without login</translation>
    </message>
    <message>
        <source>Test der Konfiguration</source>
        <translation>Configuration test</translation>
    </message>
    <message>
        <source>Test aus, Messung aktiv</source>
        <translation>Test off, measuring</translation>
    </message>
    <message>
        <source>Test 1 (Testhardware 1)</source>
        <translation>Test 1 (test hardware 1)</translation>
    </message>
    <message>
        <source>Test 2 (Testhardware 1)</source>
        <translation>Test 2 (test hardware 1)</translation>
    </message>
    <message>
        <source>Test 3 (Testhardware 2)</source>
        <translation>Test 3 (test hardware 2)</translation>
    </message>
    <message>
        <source>Test 4 (offener Eingang)</source>
        <translation>Test 4 (open input)</translation>
    </message>
    <message>
        <source>Test 1: Aussteuerung</source>
        <translation>Test 1: signal level</translation>
    </message>
    <message>
        <source>Test 1</source>
        <translation>Test 1</translation>
    </message>
    <message>
        <source>Test 2: Amplitudenverlauf</source>
        <translation>Test 2: amplitude response</translation>
    </message>
    <message>
        <source>Test 2 Amplitudenverlauf</source>
        <translation>Test 2 amplitude response</translation>
    </message>
    <message>
        <source>Test 2: Phasenverlauf</source>
        <translation>Test 2: phase response</translation>
    </message>
    <message>
        <source>Test 2 Phasenverlauf</source>
        <translation>Test 2 phase response</translation>
    </message>
    <message>
        <source>Test 3: Stereo + Kanalzurordnung</source>
        <translation>Test 3: stereo + channel order</translation>
    </message>
    <message>
        <source>Test 3</source>
        <translation>Test 3</translation>
    </message>
    <message>
        <source>Test 4: eff. Auflösung [Bit] max, min:</source>
        <translation>Test 4: eff. resolution [bit] max, min:</translation>
    </message>
    <message>
        <source>automatisch</source>
        <translation>automatic</translation>
    </message>
</context>
<context>
    <name>simulation_page</name>
    <message>
        <source>Simulation</source>
        <translation>Simulation</translation>
    </message>
    <message>
        <source>Messobjekt</source>
        <translation>Device under test</translation>
    </message>
    <message>
        <source>Netzwerk:</source>
        <translation>Network:</translation>
    </message>
    <message>
        <source>Beispiele …</source>
        <translation>Examples …</translation>
    </message>
    <message>
        <source>Aufbau</source>
        <translation>Set-up</translation>
    </message>
    <message>
        <source>automatisch</source>
        <translation>automatic</translation>
    </message>
    <message>
        <source>Messklemmen offen</source>
        <translation>Terminals open</translation>
    </message>
    <message>
        <source>Messklemmen kurzgeschlossen</source>
        <translation>Terminals shorted</translation>
    </message>
    <message>
        <source>bekannter Widerstand</source>
        <translation>Known resistor</translation>
    </message>
    <message>
        <source>Referenz offen, Klemmen kurz (Mode 0)</source>
        <translation>Ref. open, terminals shorted (mode 0)</translation>
    </message>
    <message>
        <source>Referenz kurz, Klemmen offen (Mode 1)</source>
        <translation>Ref. shorted, terminals open (mode 1)</translation>
    </message>
    <message>
        <source>Testhardware 1 (Test 1, 2)</source>
        <translation>Test hardware 1 (tests 1, 2)</translation>
    </message>
    <message>
        <source>Testhardware 2 (Test 3)</source>
        <translation>Test hardware 2 (test 3)</translation>
    </message>
    <message>
        <source>Eingang offen (Test 4)</source>
        <translation>Input open (test 4)</translation>
    </message>
    <message>
        <source>Messadapter und Soundkarte</source>
        <translation>Test adapter and sound card</translation>
    </message>
    <message>
        <source>ideal</source>
        <translation>ideal</translation>
    </message>
    <message>
        <source>realistisch</source>
        <translation>realistic</translation>
    </message>
    <message>
        <source>Rauschen [Digit eff.]:</source>
        <translation>Noise [digits rms]:</translation>
    </message>
    <message>
        <source>realistisch: Übersprechen −100 dB, rechter Kanal 1 % leiser und 0,5° später, 15 pF an den Messklemmen, 30 mΩ + 20 nH in Reihe, Referenzwiderstände 1 % daneben mit 3 pF parallel und 20 nH in Reihe</source>
        <translation>realistic: crosstalk −100 dB, right channel 1 % quieter and 0.5° later, 15 pF across the terminals, 30 mΩ + 20 nH in series, reference resistors 1 % off with 3 pF in parallel and 20 nH in series</translation>
    </message>
</context>
<context>
    <name>sorting_page</name>
    <message>
        <source>Sortieren</source>
        <translation>Sorting</translation>
    </message>
    <message>
        <source>Vergleich mit Sollwert aktiv</source>
        <translation>Compare with nominal value</translation>
    </message>
    <message>
        <source>Sollwert:</source>
        <translation>Nominal:</translation>
    </message>
    <message>
        <source>Ohm</source>
        <translation>Ohm</translation>
    </message>
    <message>
        <source>Toleranz [%]:</source>
        <translation>Tolerance [%]:</translation>
    </message>
    <message>
        <source>Scheinwiderstand, Impedanz</source>
        <translation>Impedance</translation>
    </message>
    <message>
        <source>Abweichung vom Sollwert:</source>
        <translation>Deviation from nominal:</translation>
    </message>
    <message>
        <source>Vergleich</source>
        <translation>Comparison</translation>
    </message>
    <message>
        <source>Gut: innerhalb der Toleranz. Grenzwertig: innerhalb, aber mit der angezeigten Abweichung darüber hinaus. Schlecht: außerhalb der Toleranz. Der Sollwert gilt für die erste Größe der Messung, bei D und Q für C oder L; Vorsätze wie k, M, µ, n, p sind erlaubt.</source>
        <translation>Pass: within the tolerance. Marginal: within, but beyond it with the deviation shown. Fail: outside the tolerance. The nominal value applies to the first quantity of the measurement, for D and Q to C or L; prefixes such as k, M, µ, n, p are allowed.</translation>
    </message>
</context>
<context>
    <name>tcalibration_page</name>
    <message>
        <source>&apos;%1&apos; ist kein gültiger Gleitkommawert</source>
        <translation>&apos;%1&apos; is not a valid floating-point value</translation>
    </message>
    <message>
        <source>Aufbau schwingt ein …</source>
        <translation>Set-up settling …</translation>
    </message>
    <message>
        <source>%1: Ton schwingt ein …</source>
        <translation>%1: tone settling …</translation>
    </message>
    <message>
        <source>%1: wartet auf eingeschwungenen Messwert …</source>
        <translation>%1: waiting for a settled reading …</translation>
    </message>
    <message>
        <source>nicht gespeichert</source>
        <translation>not stored</translation>
    </message>
    <message>
        <source>Multiton: wartet auf eingeschwungenen Messwert …</source>
        <translation>Multitone: waiting for a settled reading …</translation>
    </message>
    <message>
        <source>nicht gespeichert bei %1: %2</source>
        <translation>not stored at %1: %2</translation>
    </message>
    <message>
        <source>Alle Kalibrierschritte seit dem letzten Laden oder Speichern verwerfen und wieder mit „%1“ messen?</source>
        <translation>Discard every calibration step since the last load or save and measure with “%1” again?</translation>
    </message>
</context>
<context>
    <name>timpedance_page</name>
    <message>
        <source>keine Datei</source>
        <translation>not a file</translation>
    </message>
    <message>
        <source>Datei größer als 8 MB</source>
        <translation>file larger than 8 MB</translation>
    </message>
    <message>
        <source>Datei fehlerhaft, es wird unkalibriert gemessen</source>
        <translation>File faulty, measuring uncalibrated</translation>
    </message>
    <message>
        <source>nicht kalibriert</source>
        <translation>not calibrated</translation>
    </message>
    <message>
        <source>kalibriert bei %1 Frequenzen</source>
        <translation>calibrated at %1 frequencies</translation>
    </message>
    <message>
        <source>Keine Impedanzkurve: %1</source>
        <translation>No impedance curve: %1</translation>
    </message>
    <message>
        <source>Perioden: %1/%2</source>
        <translation>Periods: %1/%2</translation>
    </message>
    <message>
        <source>Messung läuft</source>
        <translation>measuring</translation>
    </message>
    <message>
        <source>nicht eingeschwungen</source>
        <translation>not settled</translation>
    </message>
    <message>
        <source>Kurve vollständig</source>
        <translation>curve complete</translation>
    </message>
    <message>
        <source>Messung angehalten</source>
        <translation>stopped early</translation>
    </message>
    <message>
        <source>Resonanz bei %1 Hz wird in %2-Hz-Schritten fein nachgemessen</source>
        <translation>measuring the resonance at %1 Hz again in %2 Hz steps</translation>
    </message>
    <message>
        <source>Resonanz bei %1 Hz in %2-Hz-Schritten fein nachgemessen</source>
        <translation>resonance at %1 Hz measured again in %2 Hz steps</translation>
    </message>
    <message>
        <source>%1 unkalibriert</source>
        <translation>%1 uncalibrated</translation>
    </message>
    <message>
        <source>%1 Teiler ungünstig</source>
        <translation>%1 poor divider</translation>
    </message>
    <message>
        <source>Aussetzer: %1</source>
        <translation>dropouts: %1</translation>
    </message>
    <message>
        <source>R ref %1
Pegel %2</source>
        <translation>R ref %1
level %2</translation>
    </message>
    <message>
        <source>unkalibriert</source>
        <translation>uncalibrated</translation>
    </message>
    <message>
        <source>Teiler ungünstig</source>
        <translation>poor divider</translation>
    </message>
    <message>
        <source>Overlay: |Z| %1   phi %2</source>
        <translation>Overlay: |Z| %1   phi %2</translation>
    </message>
    <message>
        <source>Kurve laden</source>
        <translation>Load curve</translation>
    </message>
    <message>
        <source>Impedanzkurven (*.zma);;Alle Dateien (*)</source>
        <translation>Impedance curves (*.zma);;All files (*)</translation>
    </message>
    <message>
        <source>Impedanzkurve exportieren</source>
        <translation>Export impedance curve</translation>
    </message>
    <message>
        <source>Impedanzkurven (*.zma *.csv *.json)</source>
        <translation>Impedance curves (*.zma *.csv *.json)</translation>
    </message>
    <message>
        <source>%1: nur als .zma, .csv oder .json</source>
        <translation>%1: only as .zma, .csv or .json</translation>
    </message>
    <message>
        <source>&apos;%1&apos; ist kein gültiger Gleitkommawert</source>
        <translation>&apos;%1&apos; is not a valid floating-point value</translation>
    </message>
    <message>
        <source>%1: keine laufende Kurve (Start mit Live, dann den Schritt messen)</source>
        <translation>%1: no curve running (Start with Live, then measure the step)</translation>
    </message>
    <message>
        <source>%1: %2 Punkte gespeichert</source>
        <translation>%1: %2 points stored</translation>
    </message>
    <message>
        <source>gespeichert in %1</source>
        <translation>saved in %1</translation>
    </message>
</context>
<context>
    <name>timpedance_plot</name>
    <message>
        <source>unkalibriert/ungünstig</source>
        <translation>uncalibrated/poor divider</translation>
    </message>
    <message>
        <source>Overlay</source>
        <translation>Overlay</translation>
    </message>
</context>
<context>
    <name>tlamp</name>
    <message>
        <source>grau</source>
        <translation>grey</translation>
    </message>
    <message>
        <source>gelb</source>
        <translation>yellow</translation>
    </message>
    <message>
        <source>rot</source>
        <translation>red</translation>
    </message>
    <message>
        <source>grün</source>
        <translation>green</translation>
    </message>
    <message>
        <source>nicht gemessen</source>
        <translation>not measured</translation>
    </message>
</context>
<context>
    <name>tloudspeaker_panel</name>
    <message>
        <source>keine Kurve</source>
        <translation>no curve</translation>
    </message>
    <message>
        <source>%1 Punkte
%2–%3 Hz</source>
        <translation>%1 points
%2–%3 Hz</translation>
    </message>
    <message>
        <source>&apos;%1&apos; ist kein gültiger Gleitkommawert</source>
        <translation>&apos;%1&apos; is not a valid floating-point value</translation>
    </message>
    <message>
        <source>keine Kurve in Freiluft, zuerst eine übernehmen</source>
        <translation>no free-air curve, take one first</translation>
    </message>
    <message>
        <source>unbekannt</source>
        <translation>unknown</translation>
    </message>
    <message>
        <source>V eff.</source>
        <translation>V RMS</translation>
    </message>
    <message>
        <source>Pegel frei</source>
        <translation>Level free</translation>
    </message>
    <message>
        <source>Pegel 2.</source>
        <translation>Level 2nd</translation>
    </message>
    <message>
        <source>Warnung: %1</source>
        <translation>Warning: %1</translation>
    </message>
    <message>
        <source>Keine Parameter: %1</source>
        <translation>No parameters: %1</translation>
    </message>
</context>
<context>
    <name>tmeasurement_page</name>
    <message>
        <source>max. Abweichung %1:</source>
        <translation>max. deviation %1:</translation>
    </message>
    <message>
        <source>Stopp</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>%1: nicht gespeichert: %2</source>
        <translation>%1: not stored: %2</translation>
    </message>
    <message>
        <source>kein Signal</source>
        <translation>no signal</translation>
    </message>
    <message>
        <source>Aussetzer im Tonstrom, Messung schwingt neu ein</source>
        <translation>Dropout in the sound stream, measurement settling again</translation>
    </message>
</context>
<context>
    <name>tplot_page</name>
    <message>
        <source>%1: %2 %3 / Teilung</source>
        <translation>%1: %2 %3 / div.</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>Stopp</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>Zeitverlauf exportieren</source>
        <translation>Export time course</translation>
    </message>
    <message>
        <source>Zeitverlauf als Bild</source>
        <translation>Time course as image</translation>
    </message>
</context>
<context>
    <name>tresponse_page</name>
    <message>
        <source>Frequenzachse log., 100 Hz … 20 KHz</source>
        <translation>Frequency axis log., 100 Hz … 20 kHz</translation>
    </message>
    <message>
        <source>Nur im simulierten Messaufbau: am echten Adapter gilt der eingesetzte Widerstand (R ref)</source>
        <translation>Only on the simulated set-up: on the real adapter the fitted resistor (R ref) applies</translation>
    </message>
    <message>
        <source>Multiton: wartet auf eingeschwungene Messung …</source>
        <translation>Multitone: waiting for a settled measurement …</translation>
    </message>
    <message>
        <source>Multiton live</source>
        <translation>Multitone live</translation>
    </message>
    <message>
        <source>Multiton live, %1 Kurven/s</source>
        <translation>Multitone live, %1 curves/s</translation>
    </message>
    <message>
        <source>R ref</source>
        <translation>R ref</translation>
    </message>
    <message>
        <source>Frequenzgang exportieren</source>
        <translation>Export frequency response</translation>
    </message>
    <message>
        <source>Frequenzgang als Bild</source>
        <translation>Frequency response as image</translation>
    </message>
    <message>
        <source>f</source>
        <translation>f</translation>
    </message>
    <message>
        <source>Teilerverhältnis ungünstig: ein anderer R ref misst hier genauer</source>
        <translation>unfavourable divider ratio: another R ref measures more exactly here</translation>
    </message>
</context>
<context>
    <name>tsetup_page</name>
    <message>
        <source>Fernsteuerung: %1</source>
        <translation>Remote control: %1</translation>
    </message>
</context>
<context>
    <name>tsimulation_page</name>
    <message>
        <source>Simulation: %1, nicht das Messobjekt</source>
        <translation>Simulation: %1, not the device under test</translation>
    </message>
</context>
<context>
    <name>tsorting_page</name>
    <message>
        <source>mit 0 ist nichts zu vergleichen</source>
        <translation>nothing compares with 0</translation>
    </message>
    <message>
        <source>„%1“ ist keine Zahl</source>
        <translation>“%1” is not a number</translation>
    </message>
    <message>
        <source>ohne Vorzeichen: ± gilt ohnehin</source>
        <translation>no sign: ± applies anyway</translation>
    </message>
    <message>
        <source>über 0 %: kein Teil trifft den Sollwert genau</source>
        <translation>above 0 %: no part hits the nominal exactly</translation>
    </message>
    <message>
        <source>wartet auf eingeschwungenen Messwert</source>
        <translation>waiting for a settled reading</translation>
    </message>
    <message>
        <source>„%1“ ist kein Wert (etwa %2 oder 100n)</source>
        <translation>“%1” is not a value (such as %2 or 100n)</translation>
    </message>
</context>
</TS>
