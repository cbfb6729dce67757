<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>DesktopNotifier</name>
    <message>
        <source>File sent</source>
        <translation>Datei gesendet</translation>
    </message>
    <message>
        <source>Backup saved</source>
        <translation>Sicherung gespeichert</translation>
    </message>
    <message>
        <source>Transfer failed</source>
        <translation>Übertragung fehlgeschlagen</translation>
    </message>
    <message>
        <source>Transfer canceled</source>
        <translation>Übertragung abgebrochen</translation>
    </message>
</context>
<context>
    <name>HelpViewer</name>
    <message>
        <source>ZO Vovere Help</source>
        <translation>ZO Vovere Hilfe</translation>
    </message>
    <message>
        <source>Cannot find the help file &quot;%1&quot;.

Looked in:
%2</source>
        <translation>Die Hilfedatei „%1“ wurde nicht gefunden.

Gesucht in:
%2</translation>
    </message>
</context>
<context>
    <name>NetworkLine</name>
    <message>
        <source>no answer within %1 seconds</source>
        <translation>keine Antwort innerhalb von %1 Sekunden</translation>
    </message>
    <message>
        <source>it does not answer as an RFC 2217 server (for a raw TCP port give tcp://%1)</source>
        <translation>er antwortet nicht als RFC-2217-Server (für einen rohen TCP-Port geben Sie tcp://%1 an)</translation>
    </message>
    <message>
        <source>it did not confirm the line&apos;s settings (19200 baud, 8 data bits, no parity, 1 stop bit, no flow control)</source>
        <translation>er hat die Einstellungen der Leitung nicht bestätigt (19200 Baud, 8 Datenbits, keine Parität, 1 Stoppbit, keine Flusssteuerung)</translation>
    </message>
    <message>
        <source>it refuses RFC 2217 (for a raw TCP port give tcp://%1)</source>
        <translation>er lehnt RFC 2217 ab (für einen rohen TCP-Port geben Sie tcp://%1 an)</translation>
    </message>
    <message>
        <source>it set %1 baud instead of 19200</source>
        <translation>er stellte %1 Baud statt 19200 ein</translation>
    </message>
    <message>
        <source>it set %1 data bits instead of 8</source>
        <translation>er stellte %1 Datenbits statt 8 ein</translation>
    </message>
    <message>
        <source>it did not set the line to no parity</source>
        <translation>er stellte die Leitung nicht auf keine Parität</translation>
    </message>
    <message>
        <source>it did not set the line to 1 stop bit</source>
        <translation>er stellte die Leitung nicht auf 1 Stoppbit</translation>
    </message>
    <message>
        <source>it keeps flow control on the line</source>
        <translation>er behält die Flusssteuerung auf der Leitung bei</translation>
    </message>
    <message>
        <source>it closed the connection at once (it may let only one client in at a time)</source>
        <translation>er schloss die Verbindung sofort (vielleicht lässt er nur einen Client zugleich zu)</translation>
    </message>
    <message>
        <source>it turned the connection away: &quot;%1&quot;</source>
        <translation>er wies die Verbindung ab: „%1“</translation>
    </message>
    <message>
        <source>the server closed the connection</source>
        <translation>der Server hat die Verbindung geschlossen</translation>
    </message>
    <message>
        <source>the name %1 was not found</source>
        <translation>der Name %1 wurde nicht gefunden</translation>
    </message>
    <message>
        <source>the connection was refused (no serial server listens on port %1)</source>
        <translation>die Verbindung wurde abgelehnt (auf Port %1 lauscht kein serieller Server)</translation>
    </message>
    <message>
        <source>the connection to the server is gone</source>
        <translation>die Verbindung zum Server besteht nicht mehr</translation>
    </message>
    <message>
        <source>the port is not open</source>
        <translation>der Anschluss ist nicht geöffnet</translation>
    </message>
</context>
<context>
    <name>PortSettingsDialog</name>
    <message>
        <source>Port Settings</source>
        <translation>Anschlusseinstellungen</translation>
    </message>
    <message>
        <source>Device for COM%1</source>
        <translation>Gerät für COM%1</translation>
    </message>
    <message>
        <source>COM&amp;%1 device:</source>
        <translation>Gerät für COM&amp;%1:</translation>
    </message>
    <message>
        <source>Serial &amp;ports on this computer:</source>
        <translation>Serielle &amp;Anschlüsse dieses Computers:</translation>
    </message>
    <message>
        <source>Device</source>
        <translation>Gerät</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Description</source>
        <translation>Beschreibung</translation>
    </message>
    <message>
        <source>Manufacturer</source>
        <translation>Hersteller</translation>
    </message>
    <message>
        <source>Serial number</source>
        <translation>Seriennummer</translation>
    </message>
    <message>
        <source>Stable name</source>
        <translation>Fester Name</translation>
    </message>
    <message>
        <source>Serial ports on this computer</source>
        <translation>Serielle Anschlüsse dieses Computers</translation>
    </message>
    <message>
        <source>Use for COM &amp;1</source>
        <translation>Für COM &amp;1 verwenden</translation>
    </message>
    <message>
        <source>Use for COM &amp;2</source>
        <translation>Für COM &amp;2 verwenden</translation>
    </message>
    <message>
        <source>A USB serial adapter is listed under its stable name in /dev/serial/by-id, which stays the same in any USB socket. Any other device path can be typed in, or a serial server on the network as rfc2217://HOST:PORT (RFC 2217) or tcp://HOST:PORT (raw TCP).</source>
        <translation>Ein USB-Seriell-Adapter steht unter seinem festen Namen in /dev/serial/by-id, der in jeder USB-Buchse gleich bleibt. Jeder andere Gerätepfad kann eingetippt werden, oder ein serieller Server im Netzwerk als rfc2217://HOST:PORT (RFC 2217) oder tcp://HOST:PORT (rohes TCP).</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>saving &quot;%1&quot; (an unfinished copy may stay beside it)</source>
        <translation>Speichern von „%1“ (eine unfertige Kopie kann daneben liegen bleiben)</translation>
    </message>
    <message>
        <source>reading &quot;%1&quot;</source>
        <translation>Lesen von „%1“</translation>
    </message>
    <message>
        <source>the disk had not answered when the program ended: %1</source>
        <translation>der Datenträger hatte nicht geantwortet, als das Programm endete: %1</translation>
    </message>
    <message>
        <source>a folder</source>
        <translation>ein Ordner</translation>
    </message>
    <message>
        <source>a named pipe (FIFO)</source>
        <translation>eine benannte Pipe (FIFO)</translation>
    </message>
    <message>
        <source>a device</source>
        <translation>ein Gerät</translation>
    </message>
    <message>
        <source>a socket</source>
        <translation>ein Socket</translation>
    </message>
    <message>
        <source>a special file</source>
        <translation>eine Spezialdatei</translation>
    </message>
    <message>
        <source>it is %1, not a regular file</source>
        <translation>es ist %1, keine gewöhnliche Datei</translation>
    </message>
    <message>
        <source>it is a folder</source>
        <translation>es ist ein Ordner</translation>
    </message>
    <message>
        <source>The first %1 bytes that came:
&quot;%2&quot;
%3</source>
        <translation>Die ersten %1 Bytes, die ankamen:
&quot;%2&quot;
%3</translation>
    </message>
    <message>
        <source>Cannot open %1 (%2) %3: %4.</source>
        <translation>%1 (%2) kann nicht geöffnet werden, %3: %4.</translation>
    </message>
    <message>
        <source>

To use this port your user account must be a member of the &quot;%1&quot; group: run &quot;sudo adduser $USER %1&quot;, then log out and in again.</source>
        <translation>

Um diesen Anschluss zu verwenden, muss Ihr Benutzerkonto Mitglied der Gruppe „%1“ sein: Führen Sie „sudo adduser $USER %1“ aus, melden Sie sich dann ab und wieder an.</translation>
    </message>
    <message>
        <source>

Your user account is a member of the &quot;%1&quot; group, but this session began before it joined: log out and in again.</source>
        <translation>

Ihr Benutzerkonto ist Mitglied der Gruppe „%1“, aber diese Sitzung begann, bevor es beitrat: Melden Sie sich ab und wieder an.</translation>
    </message>
    <message>
        <source>

%1 belongs to the user &quot;%2&quot; and the group &quot;%3&quot;, and its permissions let no group you could join use it: ask whoever looks after this computer to give your account access.</source>
        <translation>

%1 gehört dem Benutzer „%2“ und der Gruppe „%3“, und seine Rechte erlauben keiner Gruppe, der Sie beitreten könnten, den Zugriff: Bitten Sie die Person, die diesen Computer betreut, Ihrem Konto Zugriff zu geben.</translation>
    </message>
    <message>
        <source>

Close the other program that uses the port and try again.</source>
        <translation>

Schließen Sie das andere Programm, das den Anschluss verwendet, und versuchen Sie es erneut.</translation>
    </message>
    <message>
        <source>

Check that the cable or adapter is plugged in, or choose the device for %1 under File &gt; Port Settings.</source>
        <translation>

Prüfen Sie, ob Kabel oder Adapter eingesteckt sind, oder wählen Sie das Gerät für %1 unter Datei &gt; Anschlusseinstellungen.</translation>
    </message>
    <message>
        <source>

Choose the serial device for %1 under File &gt; Port Settings.</source>
        <translation>

Wählen Sie das serielle Gerät für %1 unter Datei &gt; Anschlusseinstellungen.</translation>
    </message>
    <message>
        <source>

Many PCs have the device %2 without a serial port behind it. A USB serial adapter appears as /dev/ttyUSB0 or /dev/ttyACM0 (File &gt; Port Settings lists the ports this computer has): choose it for %1 there.</source>
        <translation>

Viele PCs haben das Gerät %2 ohne seriellen Anschluss dahinter. Ein USB-Seriell-Adapter erscheint als /dev/ttyUSB0 oder /dev/ttyACM0 (Datei &gt; Anschlusseinstellungen listet die Anschlüsse dieses Computers): Wählen Sie ihn dort für %1.</translation>
    </message>
    <message>
        <source>Cannot save the backup to &quot;%1&quot;: %2.

Nothing was saved; any earlier file of that name is unchanged.</source>
        <translation>Die Sicherung kann nicht in „%1“ gespeichert werden: %2.

Nichts wurde gespeichert; eine frühere Datei dieses Namens ist unverändert.</translation>
    </message>
    <message>
        <source>to receive the backup</source>
        <translation>um die Sicherung zu empfangen</translation>
    </message>
    <message>
        <source>The backup is larger than 2147482624 bytes, more than this program can count. Nothing was saved; any earlier file of that name is unchanged.</source>
        <translation>Die Sicherung ist größer als 2147482624 Bytes, mehr als dieses Programm zählen kann. Nichts wurde gespeichert; eine frühere Datei dieses Namens ist unverändert.</translation>
    </message>
    <message>
        <source>The backup was written to &quot;%1&quot;, but the system could not confirm that it is on the disk: %2.

A power cut in the next minute could still undo it. Keep the show on the desk until the backup has been copied elsewhere.</source>
        <translation>Die Sicherung wurde in „%1“ geschrieben, aber das System konnte nicht bestätigen, dass sie auf dem Datenträger steht: %2.

Ein Stromausfall in der nächsten Minute könnte sie noch zunichtemachen. Behalten Sie die Show auf dem Pult, bis die Sicherung anderswohin kopiert ist.</translation>
    </message>
    <message>
        <source>

The earlier file is kept as &quot;%1&quot;.</source>
        <translation>

Die frühere Datei bleibt als „%1“ erhalten.</translation>
    </message>
    <message>
        <source>Cannot save the backup to &quot;%1&quot;: %2.

Nothing was saved; the earlier file of that name is now &quot;%3&quot;.</source>
        <translation>Die Sicherung kann nicht in „%1“ gespeichert werden: %2.

Nichts wurde gespeichert; die frühere Datei dieses Namens heißt jetzt „%3“.</translation>
    </message>
    <message>
        <source>The file &quot;%1&quot; was not sent completely: %2.</source>
        <translation>Die Datei „%1“ wurde nicht vollständig gesendet: %2.</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is too large to send: files of 2 GiB (2147483648 bytes) or more are not supported.</source>
        <translation>„%1“ ist zu groß zum Senden: Dateien ab 2 GiB (2147483648 Bytes) werden nicht unterstützt.</translation>
    </message>
    <message>
        <source>Cannot open &quot;%1&quot; for sending: %2.</source>
        <translation>„%1“ kann nicht zum Senden geöffnet werden: %2.</translation>
    </message>
    <message>
        <source>to send the file</source>
        <translation>um die Datei zu senden</translation>
    </message>
    <message>
        <source>the file became shorter while it was being sent</source>
        <translation>die Datei wurde während des Sendens kürzer</translation>
    </message>
    <message>
        <source>the port has not sent its last %1 bytes</source>
        <translation>der Anschluss hat seine letzten %1 Bytes nicht gesendet</translation>
    </message>
    <message>
        <source>a regular file</source>
        <translation>eine gewöhnliche Datei</translation>
    </message>
    <message>
        <source>a pipe</source>
        <translation>eine Pipe</translation>
    </message>
    <message>
        <source>a block device</source>
        <translation>ein Blockgerät</translation>
    </message>
    <message>
        <source>a device that is not a terminal</source>
        <translation>ein Gerät, das kein Terminal ist</translation>
    </message>
    <message>
        <source>the port is in use by another program</source>
        <translation>der Anschluss wird von einem anderen Programm verwendet</translation>
    </message>
    <message>
        <source>the port is in use by %1</source>
        <translation>der Anschluss wird von %1 verwendet</translation>
    </message>
    <message>
        <source>permission denied</source>
        <translation>Zugriff verweigert</translation>
    </message>
    <message>
        <source>no device is configured for this port</source>
        <translation>für diesen Anschluss ist kein Gerät eingestellt</translation>
    </message>
    <message>
        <source>the device does not exist</source>
        <translation>das Gerät existiert nicht</translation>
    </message>
    <message>
        <source>not a serial port (%1)</source>
        <translation>kein serieller Anschluss (%1)</translation>
    </message>
    <message>
        <source>there is no serial port at this device (%1)</source>
        <translation>hinter diesem Gerät ist kein serieller Anschluss (%1)</translation>
    </message>
    <message>
        <source>%1; the system console: kernel messages go out on it</source>
        <translation>%1; die Systemkonsole: Kernelmeldungen werden darauf ausgegeben</translation>
    </message>
    <message>
        <source>does not exist</source>
        <translation>existiert nicht</translation>
    </message>
    <message>
        <source>in use by %1</source>
        <translation>verwendet von %1</translation>
    </message>
    <message>
        <source>permission denied: join the &quot;%1&quot; group</source>
        <translation>Zugriff verweigert: der Gruppe „%1“ beitreten</translation>
    </message>
    <message>
        <source>permission denied: log out and in again to use the &quot;%1&quot; group</source>
        <translation>Zugriff verweigert: ab- und wieder anmelden, um die Gruppe „%1“ zu nutzen</translation>
    </message>
    <message>
        <source>permission denied: belongs to %1, group %2</source>
        <translation>Zugriff verweigert: gehört %1, Gruppe %2</translation>
    </message>
    <message>
        <source>no serial port behind this device</source>
        <translation>kein serieller Anschluss hinter diesem Gerät</translation>
    </message>
    <message>
        <source>free</source>
        <translation>frei</translation>
    </message>
    <message>
        <source>link to %1</source>
        <translation>Verweis auf %1</translation>
    </message>
    <message>
        <source>not in the system&apos;s list</source>
        <translation>nicht in der Liste des Systems</translation>
    </message>
    <message>
        <source>Settings cannot be saved: %1 cannot be written. The ports, folders and file names chosen now will be forgotten when the program closes.</source>
        <translation>Einstellungen können nicht gespeichert werden: %1 ist nicht beschreibbar. Die jetzt gewählten Anschlüsse, Ordner und Dateinamen sind vergessen, wenn das Programm endet.</translation>
    </message>
    <message>
        <source>

Check that the cable or adapter is plugged in, or give another device with --port (zo-vovere --list-ports lists the ports this computer has).</source>
        <translation>

Prüfen Sie, ob Kabel oder Adapter eingesteckt sind, oder geben Sie mit --port ein anderes Gerät an (zo-vovere --list-ports listet die Anschlüsse dieses Computers).</translation>
    </message>
    <message>
        <source>

Give a serial device with --port (zo-vovere --list-ports lists the ports this computer has).</source>
        <translation>

Geben Sie mit --port ein serielles Gerät an (zo-vovere --list-ports listet die Anschlüsse dieses Computers).</translation>
    </message>
    <message>
        <source>

Many PCs have the device %1 without a serial port behind it. A USB serial adapter appears as /dev/ttyUSB0 or /dev/ttyACM0 (zo-vovere --list-ports lists the ports this computer has): give it with --port.</source>
        <translation>

Viele PCs haben das Gerät %1 ohne seriellen Anschluss dahinter. Ein USB-Seriell-Adapter erscheint als /dev/ttyUSB0 oder /dev/ttyACM0 (zo-vovere --list-ports listet die Anschlüsse dieses Computers): Geben Sie ihn mit --port an.</translation>
    </message>
    <message>
        <source>Cannot open %1 %2: %3.</source>
        <translation>%1 kann nicht geöffnet werden, %2: %3.</translation>
    </message>
    <message>
        <source>

The connection to the serial server %1 ended: %2. Check the network and the server, then try again.</source>
        <translation>

Die Verbindung zum seriellen Server %1 endete: %2. Prüfen Sie Netzwerk und Server und versuchen Sie es erneut.</translation>
    </message>
    <message>
        <source>Cannot reach the serial server %1 %2: %3.

Check that the server is switched on and on the network, its address and port (%4), and that no other program is connected to that port.</source>
        <translation>Der serielle Server %1 ist nicht erreichbar, %2: %3.

Prüfen Sie, ob der Server eingeschaltet und im Netzwerk ist, seine Adresse und seinen Port (%4) und ob kein anderes Programm mit diesem Port verbunden ist.</translation>
    </message>
    <message>
        <source>--port</source>
        <translation>--port</translation>
    </message>
    <message>
        <source>File &gt; Port Settings</source>
        <translation>Datei &gt; Anschlusseinstellungen</translation>
    </message>
    <message>
        <source>

Give the serial server as rfc2217://HOST:PORT or tcp://HOST:PORT (%1).</source>
        <translation>

Geben Sie den seriellen Server als rfc2217://HOST:PORT oder tcp://HOST:PORT an (%1).</translation>
    </message>
    <message>
        <source>not a network address (tcp://HOST:PORT or rfc2217://HOST:PORT)</source>
        <translation>keine Netzwerkadresse (tcp://HOST:PORT oder rfc2217://HOST:PORT)</translation>
    </message>
    <message>
        <source>no server name in the address</source>
        <translation>kein Servername in der Adresse</translation>
    </message>
    <message>
        <source>no TCP port number in the address (HOST:PORT)</source>
        <translation>keine TCP-Portnummer in der Adresse (HOST:PORT)</translation>
    </message>
    <message>
        <source>the address has more than HOST:PORT</source>
        <translation>die Adresse enthält mehr als HOST:PORT</translation>
    </message>
    <message>
        <source>serial server on the network</source>
        <translation>serieller Server im Netzwerk</translation>
    </message>
</context>
<context>
    <name>SerialCommPort</name>
    <message>
        <source>the device is no longer available</source>
        <translation>das Gerät ist nicht mehr verfügbar</translation>
    </message>
    <message>
        <source>the port is not open</source>
        <translation>der Anschluss ist nicht geöffnet</translation>
    </message>
</context>
<context>
    <name>ServerProbe</name>
    <message>
        <source>reachable</source>
        <translation>erreichbar</translation>
    </message>
    <message>
        <source>no answer within %1 seconds</source>
        <translation>keine Antwort innerhalb von %1 Sekunden</translation>
    </message>
    <message>
        <source>name not found</source>
        <translation>Name nicht gefunden</translation>
    </message>
    <message>
        <source>refused: no serial server listens on port %1</source>
        <translation>abgelehnt: auf Port %1 lauscht kein serieller Server</translation>
    </message>
    <message>
        <source>reachable, but it closed the connection at once</source>
        <translation>erreichbar, schloss die Verbindung aber sofort</translation>
    </message>
    <message>
        <source>reachable, but it turns clients away: &quot;%1&quot;</source>
        <translation>erreichbar, weist Clients aber ab: „%1“</translation>
    </message>
    <message>
        <source>looking...</source>
        <translation>wird geprüft...</translation>
    </message>
</context>
<context>
    <name>TransferEngine</name>
    <message>
        <source>break error</source>
        <translation>Break-Fehler</translation>
    </message>
    <message>
        <source>framing error</source>
        <translation>Rahmenfehler</translation>
    </message>
    <message>
        <source>overrun error</source>
        <translation>Überlauffehler</translation>
    </message>
    <message>
        <source>rx overflow error</source>
        <translation>Empfangspuffer-Überlauf</translation>
    </message>
    <message>
        <source>parity error</source>
        <translation>Paritätsfehler</translation>
    </message>
    <message>
        <source>tx full error</source>
        <translation>Sendepuffer voll</translation>
    </message>
    <message>
        <source>dcb error</source>
        <translation>DCB-Fehler</translation>
    </message>
    <message>
        <source>port disconnected error</source>
        <translation>Anschluss getrennt</translation>
    </message>
    <message>
        <source>%1 on com port, reset and retry</source>
        <translation>%1 am COM-Anschluss, zurücksetzen und erneut versuchen</translation>
    </message>
    <message>
        <source>Action canceled</source>
        <translation>Vorgang abgebrochen</translation>
    </message>
    <message>
        <source>Filename to save the data</source>
        <translation>Dateiname zum Speichern der Daten</translation>
    </message>
    <message>
        <source>Text files (*.txt)|*.txt|GA2 Fixture Profiles (*.gaf)|*.gaf|All Files (*.*)|*.*</source>
        <translation>Textdateien (*.txt)|*.txt|GA2-Geräteprofile (*.gaf)|*.gaf|Alle Dateien (*.*)|*.*</translation>
    </message>
    <message>
        <source>Text files (*.txt)|*.txt|All Files (*.*)|*.*</source>
        <translation>Textdateien (*.txt)|*.txt|Alle Dateien (*.*)|*.*</translation>
    </message>
    <message>
        <source>Select or enter a file name where the data will be stored.</source>
        <translation>Dateinamen zum Speichern der Daten wählen oder eingeben.</translation>
    </message>
    <message>
        <source>The backup is taking its name on the disk; it can no longer be canceled.</source>
        <translation>Die Sicherung erhält gerade ihren Namen auf dem Datenträger; sie kann nicht mehr abgebrochen werden.</translation>
    </message>
    <message>
        <source>Making a file to save the data in…</source>
        <translation>Datei zum Speichern der Daten wird angelegt…</translation>
    </message>
    <message>
        <source>Waiting for data transmission from Glow Arranger.</source>
        <translation>Warte auf die Datenübertragung vom Glow Arranger.</translation>
    </message>
    <message>
        <source>header data error, reset and retry</source>
        <translation>Fehler im Datenkopf, zurücksetzen und erneut versuchen</translation>
    </message>
    <message>
        <source>header received</source>
        <translation>Datenkopf empfangen</translation>
    </message>
    <message>
        <source>%1 bytes received</source>
        <translation>%L1 Bytes empfangen</translation>
    </message>
    <message>
        <source>File has been saved.</source>
        <translation>Die Datei wurde gespeichert.</translation>
    </message>
    <message>
        <source>Connection was lost.</source>
        <translation>Die Verbindung wurde unterbrochen.</translation>
    </message>
    <message>
        <source>Filename to send</source>
        <translation>Zu sendende Datei</translation>
    </message>
    <message>
        <source>Select file to send to Glow Arranger.</source>
        <translation>Datei zum Senden an den Glow Arranger wählen.</translation>
    </message>
    <message>
        <source>sending file</source>
        <translation>Datei wird gesendet</translation>
    </message>
    <message>
        <source>%1 bytes remaining</source>
        <translation>noch %L1 Bytes</translation>
    </message>
    <message>
        <source>file has been sent</source>
        <translation>Die Datei wurde gesendet</translation>
    </message>
    <message>
        <source>The line went down before the backup could be confirmed complete: a backup is complete only once the line has been quiet for three seconds after its last byte. Nothing was saved; any earlier file of that name is unchanged.</source>
        <translation>Die Leitung brach ab, bevor die Sicherung als vollständig bestätigt werden konnte: Eine Sicherung ist erst vollständig, wenn die Leitung nach ihrem letzten Byte drei Sekunden lang still war. Nichts wurde gespeichert; eine frühere Datei dieses Namens ist unverändert.</translation>
    </message>
    <message>
        <source>Another backup began on the line right after this one; it was not received. To save it too, start the receive again, then the dump on the desk.</source>
        <translation>Direkt nach dieser Sicherung begann auf der Leitung eine weitere; sie wurde nicht empfangen. Um auch sie zu speichern, starten Sie den Empfang erneut und dann die Ausgabe am Pult.</translation>
    </message>
    <message>
        <source>Waiting for the disk to take the data…</source>
        <translation>Warten, bis der Datenträger die Daten aufnimmt…</translation>
    </message>
</context>
<context>
    <name>frmGAbackup</name>
    <message>
        <source>Cannot open &quot;%1&quot; for sending: %2.</source>
        <translation>„%1“ kann nicht zum Senden geöffnet werden: %2.</translation>
    </message>
    <message>
        <source>About ZO Vovere</source>
        <translation>Über ZO Vovere</translation>
    </message>
    <message>
        <source>A transfer is in progress. Stop it and exit?</source>
        <translation>Eine Übertragung läuft. Abbrechen und beenden?</translation>
    </message>
    <message>
        <source>ZO Vovere version %1.%2<byte value="xd"/>
<byte value="xd"/>
Backs up and restores Glow Arranger shows over a serial line.</source>
        <translation>ZO Vovere Version %1.%2<byte value="xd"/>
<byte value="xd"/>
Sichert Glow-Arranger-Shows über eine serielle Leitung und stellt sie wieder her.</translation>
    </message>
    <message>
        <source>%1: %2, 19200 baud, 8 data bits, no parity, 1 stop bit</source>
        <translation>%1: %2, 19200 Baud, 8 Datenbits, keine Parität, 1 Stoppbit</translation>
    </message>
    <message>
        <source>Serial Port</source>
        <translation>Serieller Anschluss</translation>
    </message>
    <message>
        <source>Select com port connected to Glow Arranger</source>
        <translation>Wählen Sie den COM-Anschluss, an dem der Glow Arranger hängt</translation>
    </message>
    <message>
        <source>Com 1</source>
        <translation>Com 1</translation>
    </message>
    <message>
        <source>Com 2</source>
        <translation>Com 2</translation>
    </message>
    <message>
        <source>&amp;Send File</source>
        <translation>Datei &amp;senden</translation>
    </message>
    <message>
        <source>To send a file to the Glow Arranger</source>
        <translation>Eine Datei an den Glow Arranger senden</translation>
    </message>
    <message>
        <source>&amp;Receive File</source>
        <translation>Datei &amp;empfangen</translation>
    </message>
    <message>
        <source>To receive a file from the Glow Arranger</source>
        <translation>Eine Datei vom Glow Arranger empfangen</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Transfer progress</source>
        <translation>Übertragungsfortschritt</translation>
    </message>
    <message>
        <source>Transfer animation</source>
        <translation>Übertragungsanimation</translation>
    </message>
    <message>
        <source>Separator</source>
        <translation>Trennlinie</translation>
    </message>
    <message>
        <source>Status line</source>
        <translation>Statuszeile</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>&amp;Open (Send File)</source>
        <translation>Ö&amp;ffnen (Datei senden)</translation>
    </message>
    <message>
        <source>Save &amp;As (Receive File)</source>
        <translation>Speichern &amp;unter (Datei empfangen)</translation>
    </message>
    <message>
        <source>&amp;Port Settings...</source>
        <translation>&amp;Anschlusseinstellungen...</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>GA &amp;Backup help</source>
        <translation>GA-&amp;Backup-Hilfe</translation>
    </message>
    <message>
        <source>&amp;About ZO Vovere</source>
        <translation>&amp;Über ZO Vovere</translation>
    </message>
    <message>
        <source>A transfer to or from the lighting controller is running</source>
        <translation>Eine Übertragung zum oder vom Lichtstellpult läuft</translation>
    </message>
    <message>
        <source>%1: serial server %2 on the network (%3), 19200 baud, 8 data bits, no parity, 1 stop bit</source>
        <translation>%1: serieller Server %2 im Netzwerk (%3), 19200 Baud, 8 Datenbits, keine Parität, 1 Stoppbit</translation>
    </message>
    <message>
        <source>RFC 2217</source>
        <translation>RFC 2217</translation>
    </message>
    <message>
        <source>raw TCP</source>
        <translation>rohes TCP</translation>
    </message>
</context>
</TS>
