<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>CcoSupervisor</name>
    <message>
        <source>CCO is starting</source>
        <translation>CCO startet</translation>
    </message>
    <message>
        <source>CCO is running</source>
        <translation>CCO läuft</translation>
    </message>
    <message>
        <source>CCO is running (started before this app)</source>
        <translation>CCO läuft (vor dieser App gestartet)</translation>
    </message>
    <message>
        <source>crashed</source>
        <translation>abgestürzt</translation>
    </message>
    <message>
        <source>exit code %1</source>
        <translation>Exit-Code %1</translation>
    </message>
    <message>
        <source>CCO has stopped</source>
        <translation>CCO ist beendet</translation>
    </message>
    <message>
        <source>CCO&apos;s page does not answer yet</source>
        <translation>Die Seite von CCO antwortet noch nicht</translation>
    </message>
    <message>
        <source>CCO stopped answering. Stopping it</source>
        <translation>CCO antwortet nicht mehr und wird beendet</translation>
    </message>
    <message>
        <source>The new installation never got ready; the previous one is back</source>
        <translation>Die neue Installation wurde nie bereit; die vorherige ist zurück</translation>
    </message>
    <message>
        <source>its processes are gone</source>
        <translation>seine Prozesse sind beendet</translation>
    </message>
    <message numerus="yes">
        <source>Starting CCO in %n second(s)</source>
        <translation>
            <numerusform>CCO startet in %n Sekunde</numerusform>
            <numerusform>CCO startet in %n Sekunden</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>CCO stopped answering. Restarting in %n second(s)</source>
        <translation>
            <numerusform>CCO antwortete nicht mehr. Neustart in %n Sekunde</numerusform>
            <numerusform>CCO antwortete nicht mehr. Neustart in %n Sekunden</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>CCO stopped unexpectedly (%1). Restarting in %n second(s)</source>
        <translation>
            <numerusform>CCO wurde unerwartet beendet (%1). Neustart in %n Sekunde</numerusform>
            <numerusform>CCO wurde unerwartet beendet (%1). Neustart in %n Sekunden</numerusform>
        </translation>
    </message>
    <message>
        <source>Stopping CCO</source>
        <translation>CCO wird beendet</translation>
    </message>
    <message>
        <source>held: %1</source>
        <translation>gesperrt: %1</translation>
    </message>
    <message>
        <source>update pending</source>
        <translation>Update ausstehend</translation>
    </message>
    <message>
        <source>Updating CCO</source>
        <translation>CCO wird aktualisiert</translation>
    </message>
</context>
<context>
    <name>CommandExecutor</name>
    <message>
        <source>Patching the installation</source>
        <translation>Die Installation wird gepatcht</translation>
    </message>
    <message>
        <source>Unpacking the Java runtime</source>
        <translation>Die Java-Laufzeitumgebung wird entpackt</translation>
    </message>
    <message>
        <source>Importing the CCO installation</source>
        <translation>Die CCO-Installation wird importiert</translation>
    </message>
</context>
<context>
    <name>ContentPicker</name>
    <message>
        <source>Choose</source>
        <translation>Auswählen</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
</context>
<context>
    <name>InfoDialog</name>
    <message>
        <source>Info</source>
        <translation>Info</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>Main</name>
    <message>
        <source>App suspension setting set</source>
        <translation>Die App wird nicht mehr angehalten</translation>
    </message>
    <message>
        <source>The other app ended the transfer: nothing was imported.</source>
        <translation>Die andere App hat die Übertragung beendet: Es wurde nichts importiert.</translation>
    </message>
    <message>
        <source>Invalid file format selected. Please select a .zip file.</source>
        <translation>Ungültiges Dateiformat. Bitte wählen Sie eine .zip-Datei.</translation>
    </message>
    <message>
        <source>CCO extracted</source>
        <translation>CCO entpackt</translation>
    </message>
    <message>
        <source>The import failed and the existing installation was kept. The output area says why.</source>
        <translation>Der Import ist fehlgeschlagen; die bisherige Installation bleibt. Der Ausgabebereich nennt den Grund.</translation>
    </message>
    <message>
        <source>Varnolet</source>
        <translation>Varnolet</translation>
    </message>
    <message>
        <source>Go back to the previous installation? The current one becomes the previous one.</source>
        <translation>Zur vorherigen Installation zurückkehren? Die jetzige wird zur vorherigen.</translation>
    </message>
    <message>
        <source>The file picker cannot be shown: %1</source>
        <translation>Die Dateiauswahl kann nicht angezeigt werden: %1</translation>
    </message>
</context>
<context>
    <name>MaintenanceLock</name>
    <message>
        <source>%1 min %2 s</source>
        <translation>%1 Min. %2 s</translation>
    </message>
    <message>
        <source>Too many wrong PINs. Try again in %1.</source>
        <translation>Zu viele falsche PINs. Versuchen Sie es in %1 wieder.</translation>
    </message>
    <message>
        <source>Wrong PIN</source>
        <translation>Falsche PIN</translation>
    </message>
    <message>
        <source>Wrong PIN. Too many wrong PINs: try again in %1.</source>
        <translation>Falsche PIN. Zu viele falsche PINs: Versuchen Sie es in %1 wieder.</translation>
    </message>
    <message>
        <source>The maintenance PIN file is damaged: set the PIN again over a shell</source>
        <translation>Die Datei der Wartungs-PIN ist beschädigt: Setzen Sie die PIN über eine Shell neu</translation>
    </message>
    <message>
        <source>The PIN cannot be checked now: its file cannot be written</source>
        <translation>Die PIN kann jetzt nicht geprüft werden: Ihre Datei kann nicht geschrieben werden</translation>
    </message>
</context>
<context>
    <name>MaintenanceScreen</name>
    <message>
        <source>App suspension needs to be disabled for Loading to work in the background</source>
        <translation>Das Anhalten der App muss ausgeschaltet sein, damit das Laden im Hintergrund weiterläuft</translation>
    </message>
    <message>
        <source>Set</source>
        <translation>Setzen</translation>
    </message>
    <message>
        <source>Run CCO</source>
        <translation>CCO starten</translation>
    </message>
    <message>
        <source>Extract JDK</source>
        <translation>JDK entpacken</translation>
    </message>
    <message>
        <source>Patch CCO installation</source>
        <translation>CCO-Installation patchen</translation>
    </message>
    <message>
        <source>Run Restore Tool</source>
        <translation>Wiederherstellung starten</translation>
    </message>
    <message>
        <source>Go back to the previous installation</source>
        <translation>Zur vorherigen Installation zurück</translation>
    </message>
    <message>
        <source>Import CCO installation</source>
        <translation>CCO-Installation importieren</translation>
    </message>
    <message>
        <source>The import replaces the existing installation</source>
        <translation>Der Import ersetzt die vorhandene Installation</translation>
    </message>
</context>
<context>
    <name>OutputArea</name>
    <message>
        <source>Command output will be displayed here</source>
        <translation>Hier erscheint die Ausgabe der Befehle</translation>
    </message>
</context>
<context>
    <name>PinDialog</name>
    <message>
        <source>Maintenance PIN</source>
        <translation>Wartungs-PIN</translation>
    </message>
    <message>
        <source>PIN</source>
        <translation>PIN</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
</context>
<context>
    <name>PortWait</name>
    <message>
        <source>127.0.0.1:%1 is held by %2, which is not this installation&apos;s CCO</source>
        <translation>127.0.0.1:%1 ist von %2 belegt, das nicht das CCO dieser Installation ist</translation>
    </message>
    <message>
        <source>a process this app cannot see</source>
        <translation>einem Prozess, den diese App nicht sehen kann</translation>
    </message>
</context>
<context>
    <name>RestoreDialog</name>
    <message>
        <source>Restore Tool</source>
        <translation>Wiederherstellung</translation>
    </message>
    <message>
        <source>Please enter the new prefix (POS ID). The hardware key will be regenerated.</source>
        <translation>Bitte geben Sie das neue Präfix (POS-ID) ein. Der Hardwareschlüssel wird neu erzeugt.</translation>
    </message>
    <message>
        <source>Enter new prefix</source>
        <translation>Neues Präfix</translation>
    </message>
</context>
</TS>
