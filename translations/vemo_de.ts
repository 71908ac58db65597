<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE" sourcelanguage="en">
<context>
    <name>CommandLine</name>
    <message>
        <source>show this help and exit</source>
        <translation>zeigt diese Hilfe und endet</translation>
    </message>
    <message>
        <source>read the password from FILE (vncpasswd -f); the URL&apos;s wins</source>
        <translation>liest das Passwort aus DATEI (vncpasswd -f); URL geht vor</translation>
    </message>
    <message>
        <source>FILE</source>
        <translation>DATEI</translation>
    </message>
    <message>
        <source>allow only these security types, e.g. X509Vnc,VncAuth</source>
        <translation>erlaubt nur diese Sicherheitstypen, z. B. X509Vnc,VncAuth</translation>
    </message>
    <message>
        <source>LIST</source>
        <translation>LISTE</translation>
    </message>
    <message>
        <source>trust the CA certificates in FILE, not the system&apos;s</source>
        <translation>vertraut statt dem System den CA-Zertifikaten in DATEI</translation>
    </message>
    <message>
        <source>unknown option &quot;%1&quot;</source>
        <translation>unbekannte Option „%1“</translation>
    </message>
    <message>
        <source>option &quot;%1&quot; needs a value</source>
        <translation>Option „%1“ braucht einen Wert</translation>
    </message>
    <message>
        <source>option &quot;%1&quot; takes no value</source>
        <translation>Option „%1“ nimmt keinen Wert</translation>
    </message>
    <message>
        <source>unexpected argument &quot;%1&quot;</source>
        <translation>unerwartetes Argument „%1“</translation>
    </message>
    <message>
        <source>cannot use the CA file &quot;%1&quot;: %2</source>
        <translation>die CA-Datei „%1“ ist nicht verwendbar: %2</translation>
    </message>
    <message>
        <source>QUALITY</source>
        <translation>QUALITÄT</translation>
    </message>
    <message>
        <source>Arguments:</source>
        <translation>Argumente:</translation>
    </message>
    <message>
        <source>Options:</source>
        <translation>Optionen:</translation>
    </message>
    <message>
        <source>Qt&apos;s own options (such as -platform NAME) may be given too.</source>
        <translation>Auch die Optionen von Qt (etwa -platform NAME) sind möglich.</translation>
    </message>
    <message>
        <source>Try &apos;%1 --help&apos;.</source>
        <translation>Mehr dazu mit „%1 --help“.</translation>
    </message>
    <message>
        <source>show the desktop; send no keys, clicks or clipboard</source>
        <translation>nur zeigen; sendet keine Tasten, Klicks, Zwischenablage</translation>
    </message>
    <message>
        <source>start in full screen</source>
        <translation>startet im Vollbild</translation>
    </message>
    <message>
        <source>ask the server to fit its desktop to the window
(always in full screen)</source>
        <translation>bittet den Server, seinen Bildschirm ans Fenster
anzupassen (im Vollbild immer)</translation>
    </message>
    <message>
        <source>after a lost connection, reconnect by itself</source>
        <translation>verbindet nach einem Abbruch von selbst neu</translation>
    </message>
    <message>
        <source>wait for a server to connect (default port 5500)</source>
        <translation>wartet, bis ein Server sich verbindet (Port 5500)</translation>
    </message>
    <message>
        <source>invalid port &quot;%1&quot; for --listen: give a number from 1 to 65535</source>
        <translation>ungültiger Port „%1“ für --listen: geben Sie eine Zahl von 1 bis 65535 an</translation>
    </message>
    <message>
        <source>--listen waits for a server to connect: give no server address (&quot;%1&quot;)</source>
        <translation>--listen wartet, bis ein Server sich verbindet: geben Sie keine Serveradresse an („%1“)</translation>
    </message>
    <message>
        <source>   or: %1 [OPTIONS] --listen [PORT [QUALITY]]
waits for a VNC server to connect (x11vnc -connect, vncconfig -connect).
</source>
        <translation>   oder: %1 [OPTIONEN] --listen [PORT [QUALITÄT]]
wartet, bis ein VNC-Server sich verbindet (x11vnc -connect, vncconfig -connect).
</translation>
    </message>
    <message>
        <source>send keys as symbols only, never by their place on
the keyboard (which virtual machines take)</source>
        <translation>sendet Tasten nur als Symbole, nie mit ihrer Lage auf
der Tastatur (die virtuelle Maschinen nutzen)</translation>
    </message>
    <message>
        <source>show the version and exit</source>
        <translation>zeigt die Version und endet</translation>
    </message>
    <message>
        <source>print what vemo does on standard error</source>
        <translation>schreibt auf die Standardfehlerausgabe, was vemo tut</translation>
    </message>
    <message>
        <source>ADDRESS</source>
        <translation>ADRESSE</translation>
    </message>
    <message>
        <source>Usage: %1 [OPTIONS] [ADDRESS [QUALITY]]
Shows the desktop of a VNC server.
</source>
        <translation>Aufruf: %1 [OPTIONEN] [ADRESSE [QUALITÄT]]
Zeigt den Bildschirm eines VNC-Servers.
</translation>
    </message>
    <message>
        <source>touchpad mode: a finger moves the pointer, a tap
clicks where the pointer is</source>
        <translation>Touchpad-Modus: ein Finger bewegt den Zeiger, ein
Tippen klickt dort, wo der Zeiger ist</translation>
    </message>
    <message>
        <source>a two-finger tap middle-clicks and three fingers
open the menu (not right and middle click)</source>
        <translation>Tippen mit zwei Fingern klickt mit der mittleren
Taste, mit drei öffnet es das Menü (statt Rechts-
und Mittelklick)</translation>
    </message>
    <message>
        <source>when the server rings its bell, beep without
flashing the window&apos;s frame</source>
        <translation>wenn der Server seine Glocke läutet, nur piepen,
ohne den Fensterrahmen aufblitzen zu lassen</translation>
    </message>
    <message>
        <source>NAME</source>
        <translation>NAME</translation>
    </message>
    <message>
        <source>host, host:DISPLAY, host::PORT, [IPv6 address]:DISPLAY,
vnc://[user][:password@]host[:port]; a number below 100
after one colon is a display (0 is port 5900)</source>
        <translation>Rechner, Rechner:BILDSCHIRM, Rechner::PORT,
[IPv6-Adresse]:BILDSCHIRM oder
vnc://[Benutzer][:Passwort@]Rechner[:Port]; eine Zahl unter
100 nach einem Doppelpunkt ist eine Bildschirmnummer
(0 ist Port 5900)</translation>
    </message>
    <message>
        <source>a saved server, or a .tigervnc connection file;
with neither NAME nor ADDRESS the start screen opens</source>
        <translation>ein gespeicherter Server oder eine .tigervnc-Verbindungsdatei;
ohne NAME und ADRESSE öffnet sich der Startbildschirm</translation>
    </message>
    <message>
        <source>GATEWAY</source>
        <translation>GATEWAY</translation>
    </message>
    <message>
        <source>ID</source>
        <translation>ID</translation>
    </message>
    <message>
        <source>invalid gateway &quot;%1&quot; for --via: give [user@]host[:port]</source>
        <translation>ungültiges Gateway „%1“ für --via: geben Sie [Benutzer@]Rechner[:Port] an</translation>
    </message>
    <message>
        <source>invalid ID for --repeater-id: give 1 to %1 characters</source>
        <translation>ungültige ID für --repeater-id: geben Sie 1 bis %1 Zeichen an</translation>
    </message>
    <message>
        <source>--listen waits for a server to connect: --via and --repeater-id reach out to one, so give them without --listen</source>
        <translation>--listen wartet, bis ein Server sich verbindet: --via und --repeater-id bauen selbst eine Verbindung auf, geben Sie sie also ohne --listen an</translation>
    </message>
    <message>
        <source>reach the server through SSH: GATEWAY is [user@]host[:port],
the ADDRESS&apos;s host as the gateway sees it (localhost: the gateway)</source>
        <translation>erreicht den Server über SSH: GATEWAY ist [Benutzer@]Rechner[:Port],
der Rechner der ADRESSE aus Sicht des Gateways (localhost: das Gateway)</translation>
    </message>
    <message>
        <source>ADDRESS is a VNC repeater&apos;s: ask it for the server with ID</source>
        <translation>ADRESSE ist die eines VNC-Repeaters: verlangt dort den Server mit ID</translation>
    </message>
    <message>
        <source>actual size shows a remote pixel per logical pixel,
enlarged by the screen&apos;s scaling (not one per
pixel of the screen)</source>
        <translation>Originalgröße zeigt ein entferntes Pixel je logischem
Pixel, vergrößert um die Skalierung des Bildschirms
(nicht eines je Pixel des Bildschirms)</translation>
    </message>
    <message>
        <source>auto (the default) follows the link; 1 high,
2 medium, 3 low (256 colours)</source>
        <translation>auto (Vorgabe) folgt der Verbindung; 1 hoch,
2 mittel, 3 niedrig (256 Farben)</translation>
    </message>
    <message>
        <source>LEVEL</source>
        <translation>STUFE</translation>
    </message>
    <message>
        <source>the quality is given twice (&quot;%1&quot; and &quot;%2&quot;): give --quality or QUALITY, not both</source>
        <translation>die Qualität ist zweimal angegeben („%1“ und „%2“): geben Sie --quality oder QUALITÄT an, nicht beides</translation>
    </message>
    <message>
        <source>invalid quality &quot;%1&quot;: give auto, 1, 2 or 3</source>
        <translation>ungültige Qualität „%1“: geben Sie auto, 1, 2 oder 3 an</translation>
    </message>
    <message>
        <source>as --quality: auto (default), 1, 2 or 3</source>
        <translation>wie --quality: auto (Vorgabe), 1, 2 oder 3</translation>
    </message>
</context>
<context>
    <name>ConnectionFile</name>
    <message>
        <source>Cannot open %1: %2.</source>
        <translation>%1 lässt sich nicht öffnen: %2.</translation>
    </message>
    <message>
        <source>%1 names no server (no ServerName= line): choose a connection file.</source>
        <translation>%1 nennt keinen Server (keine Zeile ServerName=): wählen Sie eine Verbindungsdatei.</translation>
    </message>
    <message>
        <source>Cannot write %1: %2. Choose another folder.</source>
        <translation>%1 lässt sich nicht schreiben: %2. Wählen Sie einen anderen Ordner.</translation>
    </message>
</context>
<context>
    <name>ConnectionInfoDialog</name>
    <message>
        <source>no password</source>
        <translation>kein Passwort</translation>
    </message>
    <message>
        <source>VNC password</source>
        <translation>VNC-Passwort</translation>
    </message>
    <message>
        <source>Tight&apos;s own</source>
        <translation>Tights eigene</translation>
    </message>
    <message>
        <source>TLS without a certificate</source>
        <translation>TLS ohne Zertifikat</translation>
    </message>
    <message>
        <source>VeNCrypt</source>
        <translation>VeNCrypt</translation>
    </message>
    <message>
        <source>user name and password, not encrypted</source>
        <translation>Benutzername und Passwort, unverschlüsselt</translation>
    </message>
    <message>
        <source>TLS without a certificate, no password</source>
        <translation>TLS ohne Zertifikat, kein Passwort</translation>
    </message>
    <message>
        <source>TLS without a certificate, VNC password</source>
        <translation>TLS ohne Zertifikat, VNC-Passwort</translation>
    </message>
    <message>
        <source>TLS without a certificate, user name and password</source>
        <translation>TLS ohne Zertifikat, Benutzername und Passwort</translation>
    </message>
    <message>
        <source>TLS with a certificate, no password</source>
        <translation>TLS mit Zertifikat, kein Passwort</translation>
    </message>
    <message>
        <source>TLS with a certificate, VNC password</source>
        <translation>TLS mit Zertifikat, VNC-Passwort</translation>
    </message>
    <message>
        <source>TLS with a certificate, user name and password</source>
        <translation>TLS mit Zertifikat, Benutzername und Passwort</translation>
    </message>
    <message>
        <source>%1 (%2)</source>
        <translation>%1 (%2)</translation>
    </message>
    <message>
        <source>type %1</source>
        <translation>Typ %1</translation>
    </message>
    <message>
        <source>unknown</source>
        <translation>unbekannt</translation>
    </message>
    <message>
        <source>%1, then %2</source>
        <translation>%1, dann %2</translation>
    </message>
    <message>
        <source>not encrypted</source>
        <translation>unverschlüsselt</translation>
    </message>
    <message>
        <source>encrypted; the server&apos;s certificate is signed by an authority you trust</source>
        <translation>verschlüsselt; das Zertifikat des Servers ist von einer Zertifizierungsstelle signiert, der Sie vertrauen</translation>
    </message>
    <message>
        <source>encrypted; the server&apos;s certificate is one you chose to trust</source>
        <translation>verschlüsselt; Sie haben dem Zertifikat des Servers selbst vertraut</translation>
    </message>
    <message>
        <source>encrypted; the server is not verified: no certificate was checked</source>
        <translation>verschlüsselt; der Server ist nicht überprüft: kein Zertifikat wurde geprüft</translation>
    </message>
    <message>
        <source>%1; through an SSH tunnel</source>
        <translation>%1; durch einen SSH-Tunnel</translation>
    </message>
    <message>
        <source>Automatic: follows the link and the picture</source>
        <translation>Automatisch: folgt der Verbindung und dem Bild</translation>
    </message>
    <message>
        <source>High: lossless</source>
        <translation>Hoch: verlustfrei</translation>
    </message>
    <message>
        <source>Medium</source>
        <translation>Mittel</translation>
    </message>
    <message>
        <source>Low: 256 colours</source>
        <translation>Niedrig: 256 Farben</translation>
    </message>
    <message>
        <source>full colour, lossless</source>
        <translation>volle Farbtiefe, verlustfrei</translation>
    </message>
    <message>
        <source>256 colours, lossless</source>
        <translation>256 Farben, verlustfrei</translation>
    </message>
    <message>
        <source>full colour, JPEG quality %1 of 9</source>
        <translation>volle Farbtiefe, JPEG-Qualität %1 von 9</translation>
    </message>
    <message>
        <source>%1; compression level %2 of 9; asks for %3</source>
        <translation>%1; Kompressionsstufe %2 von 9; fragt nach %3</translation>
    </message>
    <message>
        <source>the link is not measured yet</source>
        <translation>die Verbindung ist noch nicht gemessen</translation>
    </message>
    <message>
        <source>the link is fast enough for full colour</source>
        <translation>die Verbindung ist schnell genug für volle Farbtiefe</translation>
    </message>
    <message>
        <source>the link is slow and the picture is mostly text and flat areas, which 256 colours keep sharp in fewer bytes</source>
        <translation>die Verbindung ist langsam und das Bild zeigt vor allem Text und einfarbige Flächen, die 256 Farben mit weniger Bytes scharf halten</translation>
    </message>
    <message>
        <source>the link is slow and the picture holds photographs, which JPEG sends in fewer bytes</source>
        <translation>die Verbindung ist langsam und das Bild enthält Fotos, die JPEG mit weniger Bytes sendet</translation>
    </message>
    <message>
        <source>the link is very slow: 256 colours take the fewest bytes</source>
        <translation>die Verbindung ist sehr langsam: 256 Farben brauchen die wenigsten Bytes</translation>
    </message>
    <message>
        <source>not measured yet</source>
        <translation>noch nicht gemessen</translation>
    </message>
    <message>
        <source>%L1 Mbit/s</source>
        <translation>%L1 Mbit/s</translation>
    </message>
    <message>
        <source>%L1 kbit/s</source>
        <translation>%L1 kbit/s</translation>
    </message>
    <message>
        <source>[%1], port %2</source>
        <translation>[%1], Port %2</translation>
    </message>
    <message>
        <source>%1, port %2</source>
        <translation>%1, Port %2</translation>
    </message>
    <message>
        <source>%1 (not connected)</source>
        <translation>%1 (nicht verbunden)</translation>
    </message>
    <message>
        <source>Server:</source>
        <translation>Server:</translation>
    </message>
    <message>
        <source>Desktop name:</source>
        <translation>Name des Bildschirms:</translation>
    </message>
    <message>
        <source>Protocol:</source>
        <translation>Protokoll:</translation>
    </message>
    <message>
        <source>RFB %1.%2</source>
        <translation>RFB %1.%2</translation>
    </message>
    <message>
        <source>Security:</source>
        <translation>Sicherheit:</translation>
    </message>
    <message>
        <source>Encryption:</source>
        <translation>Verschlüsselung:</translation>
    </message>
    <message>
        <source>Desktop size:</source>
        <translation>Bildschirmgröße:</translation>
    </message>
    <message>
        <source>%1 × %2 pixels</source>
        <translation>%1 × %2 Pixel</translation>
    </message>
    <message>
        <source>Pixel format:</source>
        <translation>Pixelformat:</translation>
    </message>
    <message>
        <source>%1 bits per pixel, depth %2</source>
        <translation>%1 Bit pro Pixel, Farbtiefe %2</translation>
    </message>
    <message>
        <source>Encodings in use:</source>
        <translation>Verwendete Kodierungen:</translation>
    </message>
    <message>
        <source>none yet</source>
        <translation>noch keine</translation>
    </message>
    <message>
        <source>Continuous updates:</source>
        <translation>Fortlaufende Aktualisierung:</translation>
    </message>
    <message>
        <source>on</source>
        <translation>an</translation>
    </message>
    <message>
        <source>off</source>
        <translation>aus</translation>
    </message>
    <message>
        <source>Line speed:</source>
        <translation>Leitungsgeschwindigkeit:</translation>
    </message>
    <message>
        <source>Round trip:</source>
        <translation>Umlaufzeit:</translation>
    </message>
    <message>
        <source>%L1 ms</source>
        <translation>%L1 ms</translation>
    </message>
    <message>
        <source>Updates:</source>
        <translation>Aktualisierungen:</translation>
    </message>
    <message>
        <source>%L1 a second</source>
        <translation>%L1 pro Sekunde</translation>
    </message>
    <message>
        <source>Received:</source>
        <translation>Empfangen:</translation>
    </message>
    <message>
        <source>%1 a second</source>
        <translation>%1 pro Sekunde</translation>
    </message>
    <message>
        <source>Quality:</source>
        <translation>Qualität:</translation>
    </message>
    <message>
        <source>Chosen now:</source>
        <translation>Jetzt gewählt:</translation>
    </message>
    <message>
        <source>In use:</source>
        <translation>Verwendet:</translation>
    </message>
    <message>
        <source>Because:</source>
        <translation>Weil:</translation>
    </message>
    <message>
        <source>Connection information</source>
        <translation>Verbindungsinformationen</translation>
    </message>
</context>
<context>
    <name>Handshake</name>
    <message>
        <source>The program at this address is not a VNC server. Check the port or display number.</source>
        <translation>Das Programm unter dieser Adresse ist kein VNC-Server. Prüfen Sie Port oder Bildschirmnummer.</translation>
    </message>
    <message>
        <source>The server speaks VeNCrypt %1.%2, which this viewer does not support. Choose other security types on the server.</source>
        <translation>Der Server spricht VeNCrypt %1.%2, das dieser Betrachter nicht unterstützt. Wählen Sie auf dem Server andere Sicherheitstypen.</translation>
    </message>
    <message>
        <source>The server refused VeNCrypt 0.2. Choose other security types on the server.</source>
        <translation>Der Server hat VeNCrypt 0.2 abgelehnt. Wählen Sie auf dem Server andere Sicherheitstypen.</translation>
    </message>
    <message>
        <source>The server refused the security type %1 that it offered. Check its TLS settings, or choose other types with --security.</source>
        <translation>Der Server hat den Sicherheitstyp %1 abgelehnt, den er selbst angeboten hat. Prüfen Sie seine TLS-Einstellungen oder wählen Sie mit --security andere Typen.</translation>
    </message>
    <message>
        <source>The VNC server refused the connection and sent a reason too long to show.</source>
        <translation>Der VNC-Server hat die Verbindung abgelehnt und einen zu langen Grund gesendet, um ihn anzuzeigen.</translation>
    </message>
    <message>
        <source>The VNC server refused the connection: %1</source>
        <translation>Der VNC-Server hat die Verbindung abgelehnt: %1</translation>
    </message>
    <message>
        <source>The server offers only unencrypted connections (%1), which --security does not allow. Enable encryption on the server, or allow VncAuth or None with --security.</source>
        <translation>Der Server bietet nur unverschlüsselte Verbindungen an (%1), die --security nicht erlaubt. Schalten Sie auf dem Server Verschlüsselung ein oder erlauben Sie mit --security VncAuth oder None.</translation>
    </message>
    <message>
        <source>The server refuses the security types that --security allows; it offers %1. Allow one of these with --security.</source>
        <translation>Der Server lehnt die Sicherheitstypen ab, die --security erlaubt; er bietet %1 an. Erlauben Sie einen davon mit --security.</translation>
    </message>
    <message>
        <source>The server refuses unencrypted connections; it offers %1. Allow one of these with --security.</source>
        <translation>Der Server lehnt unverschlüsselte Verbindungen ab; er bietet %1 an. Erlauben Sie einen davon mit --security.</translation>
    </message>
    <message>
        <source>The server offers no security type this viewer supports (it offers %1). Enable VncAuth, TLSVnc or X509Vnc on the server.</source>
        <translation>Der Server bietet keinen Sicherheitstyp an, den dieser Betrachter unterstützt (er bietet %1 an). Schalten Sie auf dem Server VncAuth, TLSVnc oder X509Vnc ein.</translation>
    </message>
    <message>
        <source>The VNC server sent a desktop name longer than 1 MiB. Report it to whoever runs the server.</source>
        <translation>Der VNC-Server hat einen Bildschirmnamen von mehr als 1 MiB gesendet. Melden Sie das dem Betreiber des Servers.</translation>
    </message>
    <message>
        <source>The server %1 no longer shows the certificate you trusted for it: it offers only %2. Someone may be posing as the server, so vemo did not connect. If the server&apos;s set-up really changed, remove this line from %3, then connect again:
%4</source>
        <translation>Der Server %1 zeigt nicht mehr das Zertifikat, dem Sie für ihn vertraut haben: Er bietet nur %2 an. Möglicherweise gibt sich jemand als der Server aus, daher hat vemo keine Verbindung aufgebaut. Wurde der Server wirklich umgestellt, entfernen Sie diese Zeile aus %3 und verbinden Sie sich erneut:
%4</translation>
    </message>
    <message>
        <source>You trusted the certificate of %1, so vemo connects to it only with a type that checks it (X509Vnc, X509None, X509Plain), which --security leaves out. Allow one with --security, or, to connect without the check, remove this line from %2:
%3</source>
        <translation>Sie haben dem Zertifikat von %1 vertraut, daher verbindet sich vemo mit ihm nur mit einem Typ, der es prüft (X509Vnc, X509None, X509Plain), und --security lässt diese aus. Erlauben Sie einen davon mit --security oder entfernen Sie, um ohne die Prüfung zu verbinden, diese Zeile aus %2:
%3</translation>
    </message>
    <message>
        <source>The program at this address did not answer as a VNC server within %1 seconds. Check the port or display number, and that the VNC server there is running.</source>
        <translation>Das Programm unter dieser Adresse hat nicht innerhalb von %1 Sekunden als VNC-Server geantwortet. Prüfen Sie Port oder Bildschirmnummer und ob der VNC-Server dort läuft.</translation>
    </message>
</context>
<context>
    <name>KeyBar</name>
    <message>
        <source>Esc</source>
        <translation>Esc</translation>
    </message>
    <message>
        <source>Tab</source>
        <translation>Tab</translation>
    </message>
    <message>
        <source>Ctrl</source>
        <translation>Strg</translation>
    </message>
    <message>
        <source>Alt</source>
        <translation>Alt</translation>
    </message>
    <message>
        <source>Super</source>
        <translation>Super</translation>
    </message>
    <message>
        <source>Shift</source>
        <translation>Umschalt</translation>
    </message>
    <message>
        <source>Home</source>
        <translation>Pos1</translation>
    </message>
    <message>
        <source>End</source>
        <translation>Ende</translation>
    </message>
    <message>
        <source>PgUp</source>
        <translation>Bild↑</translation>
    </message>
    <message>
        <source>PgDn</source>
        <translation>Bild↓</translation>
    </message>
    <message>
        <source>Ins</source>
        <translation>Einfg</translation>
    </message>
    <message>
        <source>Del</source>
        <translation>Entf</translation>
    </message>
    <message>
        <source>Menu</source>
        <translation>Menü</translation>
    </message>
    <message>
        <source>Print</source>
        <translation>Druck</translation>
    </message>
</context>
<context>
    <name>PasswordDialog</name>
    <message>
        <source>Password</source>
        <translation>Passwort</translation>
    </message>
    <message>
        <source>The server %1 asks for a password.</source>
        <translation>Der Server %1 verlangt ein Passwort.</translation>
    </message>
    <message>
        <source>The server %1 asks for the password of %2.</source>
        <translation>Der Server %1 verlangt das Passwort von %2.</translation>
    </message>
    <message>
        <source>Sign in</source>
        <translation>Anmelden</translation>
    </message>
    <message>
        <source>The server %1 asks for a user name and password.</source>
        <translation>Der Server %1 verlangt Benutzername und Passwort.</translation>
    </message>
    <message>
        <source>User name</source>
        <translation>Benutzername</translation>
    </message>
    <message>
        <source>SSH sign-in</source>
        <translation>SSH-Anmeldung</translation>
    </message>
</context>
<context>
    <name>PasswordFile</name>
    <message>
        <source>no such file</source>
        <translation>es gibt sie nicht</translation>
    </message>
    <message>
        <source>it is a directory</source>
        <translation>sie ist ein Verzeichnis</translation>
    </message>
    <message>
        <source>it cannot be read</source>
        <translation>sie ist nicht lesbar</translation>
    </message>
    <message>
        <source>cannot use the password file &quot;%1&quot;: %2</source>
        <translation>die Passwortdatei „%1“ ist nicht verwendbar: %2</translation>
    </message>
    <message>
        <source>it is shorter than 8 bytes, so it was not made by vncpasswd</source>
        <translation>sie ist kürzer als 8 Byte, stammt also nicht von vncpasswd</translation>
    </message>
</context>
<context>
    <name>PasswordVault</name>
    <message>
        <source>The keyring did not keep the password (%1); you will be asked for it.</source>
        <translation>Der Schlüsselbund hat das Passwort nicht gespeichert (%1); Sie werden danach gefragt.</translation>
    </message>
</context>
<context>
    <name>Repeater</name>
    <message>
        <source>The program at this address is not a VNC repeater. Give the repeater&apos;s address and port, or leave out --repeater-id to reach a VNC server directly.</source>
        <translation>Das Programm unter dieser Adresse ist kein VNC-Repeater. Geben Sie Adresse und Port des Repeaters an, oder lassen Sie --repeater-id weg, um einen VNC-Server direkt zu erreichen.</translation>
    </message>
    <message>
        <source>The VNC repeater did not greet this viewer within %1 seconds. Check its address and port.</source>
        <translation>Der VNC-Repeater hat diesen Betrachter nicht innerhalb von %1 Sekunden begrüßt. Prüfen Sie seine Adresse und seinen Port.</translation>
    </message>
</context>
<context>
    <name>SecurityTypes</name>
    <message>
        <source>unknown security type &quot;%1&quot;; known types: %2</source>
        <translation>unbekannter Sicherheitstyp „%1“; bekannte Typen: %2</translation>
    </message>
    <message>
        <source>no security type given</source>
        <translation>kein Sicherheitstyp angegeben</translation>
    </message>
</context>
<context>
    <name>ServerDialog</name>
    <message>
        <source>Add server</source>
        <translation>Server hinzufügen</translation>
    </message>
    <message>
        <source>Edit server</source>
        <translation>Server bearbeiten</translation>
    </message>
    <message>
        <source>host, host:1 or host::5901</source>
        <translation>Rechner, Rechner:1 oder Rechner::5901</translation>
    </message>
    <message>
        <source>&amp;Remember the password in the keyring</source>
        <translation>Passwort im Schlüsselbund &amp;merken</translation>
    </message>
    <message>
        <source>High</source>
        <translation>Hoch</translation>
    </message>
    <message>
        <source>Medium</source>
        <translation>Mittel</translation>
    </message>
    <message>
        <source>Low</source>
        <translation>Niedrig</translation>
    </message>
    <message>
        <source>all, e.g. X509Vnc,VncAuth</source>
        <translation>alle, z. B. X509Vnc,VncAuth</translation>
    </message>
    <message>
        <source>Fit to window</source>
        <translation>An Fenster anpassen</translation>
    </message>
    <message>
        <source>Actual size (1:1)</source>
        <translation>Originalgröße (1:1)</translation>
    </message>
    <message>
        <source>Zoom</source>
        <translation>Zoom</translation>
    </message>
    <message>
        <source>&amp;View only</source>
        <translation>N&amp;ur ansehen</translation>
    </message>
    <message>
        <source>&amp;Full screen</source>
        <translation>&amp;Vollbild</translation>
    </message>
    <message>
        <source>Resize the remote &amp;desktop to the window</source>
        <translation>Entfernten Bildschirm ans &amp;Fenster anpassen</translation>
    </message>
    <message>
        <source>&amp;Name:</source>
        <translation>&amp;Name:</translation>
    </message>
    <message>
        <source>&amp;Address:</source>
        <translation>&amp;Adresse:</translation>
    </message>
    <message>
        <source>&amp;User name:</source>
        <translation>&amp;Benutzername:</translation>
    </message>
    <message>
        <source>&amp;Password:</source>
        <translation>&amp;Passwort:</translation>
    </message>
    <message>
        <source>&amp;Quality:</source>
        <translation>&amp;Qualität:</translation>
    </message>
    <message>
        <source>&amp;Security types:</source>
        <translation>&amp;Sicherheitstypen:</translation>
    </message>
    <message>
        <source>S&amp;caling:</source>
        <translation>S&amp;kalierung:</translation>
    </message>
    <message>
        <source>&amp;Zoom:</source>
        <translation>&amp;Zoom:</translation>
    </message>
    <message>
        <source>Looking for the keyring…</source>
        <translation>Suche den Schlüsselbund …</translation>
    </message>
    <message>
        <source>No keyring is available, so no password is remembered: vemo asks for it when the server wants one.</source>
        <translation>Kein Schlüsselbund verfügbar, daher wird kein Passwort gemerkt: vemo fragt danach, wenn der Server eines verlangt.</translation>
    </message>
    <message>
        <source>Give the server a name, without square brackets.</source>
        <translation>Geben Sie dem Server einen Namen, ohne eckige Klammern.</translation>
    </message>
    <message>
        <source>Another server is called &quot;%1&quot;: choose another name.</source>
        <translation>Ein anderer Server heißt schon „%1“: wählen Sie einen anderen Namen.</translation>
    </message>
    <message>
        <source>Type the password in the password field, not in the address.</source>
        <translation>Geben Sie das Passwort im Passwortfeld ein, nicht in der Adresse.</translation>
    </message>
    <message>
        <source>kept in the keyring</source>
        <translation>im Schlüsselbund gespeichert</translation>
    </message>
    <message>
        <source>&amp;Touchpad mode: a finger moves the pointer</source>
        <translation>&amp;Touchpad-Modus: ein Finger bewegt den Zeiger</translation>
    </message>
    <message>
        <source>none, or [user@]host[:port]</source>
        <translation>keins, oder [Benutzer@]Rechner[:Port]</translation>
    </message>
    <message>
        <source>none</source>
        <translation>keine</translation>
    </message>
    <message>
        <source>SSH &amp;gateway:</source>
        <translation>SSH-&amp;Gateway:</translation>
    </message>
    <message>
        <source>Repeater &amp;ID:</source>
        <translation>Repeater-&amp;ID:</translation>
    </message>
    <message>
        <source>Give the SSH gateway as [user@]host[:port], or leave it empty.</source>
        <translation>Geben Sie das SSH-Gateway als [Benutzer@]Rechner[:Port] an, oder lassen Sie das Feld leer.</translation>
    </message>
    <message>
        <source>Give a repeater ID of at most %1 characters.</source>
        <translation>Geben Sie eine Repeater-ID von höchstens %1 Zeichen an.</translation>
    </message>
    <message>
        <source>Automatic</source>
        <translation>Automatisch</translation>
    </message>
</context>
<context>
    <name>ServerStore</name>
    <message>
        <source>Cannot write %1: %2. Check that the folder is writable and the disk not full.</source>
        <translation>%1 lässt sich nicht schreiben: %2. Prüfen Sie, ob der Ordner beschreibbar und die Platte nicht voll ist.</translation>
    </message>
</context>
<context>
    <name>ServerUrl</name>
    <message>
        <source>invalid server address &quot;%1&quot;: %2</source>
        <translation>ungültige Serveradresse „%1“: %2</translation>
    </message>
    <message>
        <source>it is empty</source>
        <translation>sie ist leer</translation>
    </message>
    <message>
        <source>the scheme must be vnc://</source>
        <translation>das Schema muss vnc:// sein</translation>
    </message>
    <message>
        <source>no host name</source>
        <translation>kein Rechnername</translation>
    </message>
    <message>
        <source>a server address has no path</source>
        <translation>eine Serveradresse hat keinen Pfad</translation>
    </message>
    <message>
        <source>a server address has no query or fragment</source>
        <translation>eine Serveradresse hat weder Abfrage noch Fragment</translation>
    </message>
    <message>
        <source>not a URL (vnc://[[user][:password]@]host[:port])</source>
        <translation>keine URL (vnc://[[Benutzer][:Passwort]@]Rechner[:Port])</translation>
    </message>
    <message>
        <source>the IPv6 address has no closing ]</source>
        <translation>der IPv6-Adresse fehlt die schließende ]</translation>
    </message>
    <message>
        <source>write an IPv6 address in brackets, as in [::1]:1</source>
        <translation>schreiben Sie eine IPv6-Adresse in eckigen Klammern, etwa [::1]:1</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is no host name</source>
        <translation>„%1“ ist kein Rechnername</translation>
    </message>
    <message>
        <source>give a port from 100 to 65535 after &quot;::&quot;</source>
        <translation>geben Sie nach „::“ einen Port von 100 bis 65535 an</translation>
    </message>
    <message>
        <source>give a display number after &quot;:&quot; (0 is port 5900)</source>
        <translation>geben Sie nach „:“ eine Bildschirmnummer an (0 ist Port 5900)</translation>
    </message>
    <message>
        <source>ports below 100 cannot be used; for a display number give host:%1</source>
        <translation>Ports unter 100 sind nicht nutzbar; für eine Bildschirmnummer geben Sie Rechner:%1 an</translation>
    </message>
</context>
<context>
    <name>SshTunnel</name>
    <message>
        <source>The gateway &quot;%1&quot; given with --via is not [user@]host[:port].</source>
        <translation>Das mit --via angegebene Gateway „%1“ hat nicht die Form [Benutzer@]Rechner[:Port].</translation>
    </message>
    <message>
        <source>The SSH gateway %1 could not reach the VNC server %2 port %3 (%4). Check the server&apos;s address as the gateway sees it (localhost is the gateway itself) and that the server runs.</source>
        <translation>Das SSH-Gateway %1 konnte den VNC-Server %2 Port %3 nicht erreichen (%4). Prüfen Sie die Adresse des Servers aus Sicht des Gateways (localhost ist das Gateway selbst) und ob der Server läuft.</translation>
    </message>
    <message>
        <source>The SSH tunnel could not be set up (%1).</source>
        <translation>Der SSH-Tunnel konnte nicht eingerichtet werden (%1).</translation>
    </message>
    <message>
        <source>The SSH tunnel could not be set up (out of memory).</source>
        <translation>Der SSH-Tunnel konnte nicht eingerichtet werden (kein Speicher mehr).</translation>
    </message>
    <message>
        <source>The SSH gateway %1 was not found. Check its name in --via and the network.</source>
        <translation>Das SSH-Gateway %1 wurde nicht gefunden. Prüfen Sie seinen Namen in --via und das Netzwerk.</translation>
    </message>
    <message>
        <source>The SSH gateway %1 could not be reached (%2). Check its name and port in --via and that its SSH server runs.</source>
        <translation>Das SSH-Gateway %1 war nicht erreichbar (%2). Prüfen Sie Name und Port in --via und ob sein SSH-Server läuft.</translation>
    </message>
    <message>
        <source>The SSH connection to the gateway %1 failed (%2). Check that --via names an SSH server.</source>
        <translation>Die SSH-Verbindung zum Gateway %1 ist gescheitert (%2). Prüfen Sie, ob --via einen SSH-Server nennt.</translation>
    </message>
    <message>
        <source>WARNING: the SSH key of the gateway %1 is not the one remembered in %2: someone may be intercepting the connection, so vemo did not connect. Its %3 key now has the fingerprint %4. If the gateway&apos;s key was replaced on purpose, remove the old line with this command, then connect again:
ssh-keygen -f &quot;%2&quot; -R &quot;%5&quot;</source>
        <translation>WARNUNG: Der SSH-Schlüssel des Gateways %1 ist nicht der in %2 gespeicherte: Möglicherweise hört jemand die Verbindung ab, daher hat vemo keine Verbindung aufgebaut. Sein %3-Schlüssel hat jetzt den Fingerabdruck %4. Wurde der Schlüssel des Gateways absichtlich ersetzt, entfernen Sie die alte Zeile mit diesem Befehl und verbinden Sie sich erneut:
ssh-keygen -f &quot;%2&quot; -R &quot;%5&quot;</translation>
    </message>
    <message>
        <source>The list of known SSH hosts, %1, could not be read (%2). Check its permissions.</source>
        <translation>Die Liste bekannter SSH-Rechner, %1, war nicht lesbar (%2). Prüfen Sie ihre Zugriffsrechte.</translation>
    </message>
    <message>
        <source>The SSH gateway %1 is not known yet: %2 has no key for it.

SHA-256 fingerprint of its %3 key:
%4

Accept it only if this fingerprint matches the gateway&apos;s own (ssh-keygen -lf on its host key). Remember this key and connect?</source>
        <translation>Das SSH-Gateway %1 ist noch nicht bekannt: %2 enthält keinen Schlüssel dafür.

SHA-256-Fingerabdruck seines %3-Schlüssels:
%4

Akzeptieren Sie ihn nur, wenn dieser Fingerabdruck mit dem des Gateways übereinstimmt (ssh-keygen -lf auf seinen Rechnerschlüssel). Diesen Schlüssel speichern und verbinden?</translation>
    </message>
    <message>
        <source>The SSH gateway&apos;s key was not accepted, so the connection was ended.</source>
        <translation>Der Schlüssel des SSH-Gateways wurde nicht akzeptiert, daher wurde die Verbindung beendet.</translation>
    </message>
    <message>
        <source>Your SSH key for the gateway %1 is protected: enter its passphrase.</source>
        <translation>Ihr SSH-Schlüssel für das Gateway %1 ist geschützt: Geben Sie seine Passphrase ein.</translation>
    </message>
    <message>
        <source>The SSH gateway %1 asks: %2</source>
        <translation>Das SSH-Gateway %1 fragt: %2</translation>
    </message>
    <message>
        <source>The SSH gateway %1 asks for the password of %2.</source>
        <translation>Das SSH-Gateway %1 verlangt das Passwort von %2.</translation>
    </message>
    <message>
        <source>Sign-in to the SSH gateway was cancelled. Connect again to sign in.</source>
        <translation>Die Anmeldung am SSH-Gateway wurde abgebrochen. Verbinden Sie sich erneut, um sich anzumelden.</translation>
    </message>
    <message>
        <source>The SSH gateway %1 refused to sign in %2. Check the user name (user@ in --via, or User in ~/.ssh/config), that your key is loaded in the ssh-agent or in %3 and listed in the gateway&apos;s authorized_keys, or the password.</source>
        <translation>Das SSH-Gateway %1 hat die Anmeldung von %2 abgelehnt. Prüfen Sie den Benutzernamen (user@ in --via oder User in ~/.ssh/config), ob Ihr Schlüssel im ssh-agent oder in %3 liegt und in authorized_keys des Gateways steht, oder das Passwort.</translation>
    </message>
    <message>
        <source>it was made for another version of vemo</source>
        <translation>es wurde für eine andere Version von vemo gebaut</translation>
    </message>
    <message>
        <source>SSH tunnels are unavailable: vemo&apos;s SSH module %1 could not be loaded (%2). Reinstall vemo to connect through an SSH gateway (--via).</source>
        <translation>SSH-Tunnel sind nicht verfügbar: Das SSH-Modul von vemo, %1, konnte nicht geladen werden (%2). Installieren Sie vemo neu, um sich über ein SSH-Gateway (--via) zu verbinden.</translation>
    </message>
    <message>
        <source>SSH tunnels are unavailable: vemo&apos;s SSH module %1 is missing. Reinstall vemo to connect through an SSH gateway (--via).</source>
        <translation>SSH-Tunnel sind nicht verfügbar: Das SSH-Modul von vemo, %1, fehlt. Installieren Sie vemo neu, um sich über ein SSH-Gateway (--via) zu verbinden.</translation>
    </message>
</context>
<context>
    <name>StartScreen</name>
    <message>
        <source>&amp;Connect</source>
        <translation>&amp;Verbinden</translation>
    </message>
    <message>
        <source>&amp;Add…</source>
        <translation>&amp;Hinzufügen …</translation>
    </message>
    <message>
        <source>&amp;Edit…</source>
        <translation>&amp;Bearbeiten …</translation>
    </message>
    <message>
        <source>D&amp;uplicate</source>
        <translation>Dupli&amp;zieren</translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation>&amp;Löschen</translation>
    </message>
    <message>
        <source>E&amp;xport…</source>
        <translation>E&amp;xportieren …</translation>
    </message>
    <message>
        <source>vemo</source>
        <translation>vemo</translation>
    </message>
    <message>
        <source>Server address, e.g. host:1</source>
        <translation>Serveradresse, z. B. rechner:1</translation>
    </message>
    <message>
        <source>&amp;Go</source>
        <translation>&amp;Los</translation>
    </message>
    <message>
        <source>&amp;Open Document</source>
        <translation>Dokument ö&amp;ffnen</translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation>Be&amp;enden</translation>
    </message>
    <message>
        <source>Recent</source>
        <translation>Zuletzt verwendet</translation>
    </message>
    <message>
        <source>Saved</source>
        <translation>Gespeichert</translation>
    </message>
    <message>
        <source>On this network</source>
        <translation>In diesem Netzwerk</translation>
    </message>
    <message>
        <source>Choose a saved server to edit.</source>
        <translation>Wählen Sie einen gespeicherten Server zum Bearbeiten.</translation>
    </message>
    <message>
        <source>Choose a saved server to duplicate.</source>
        <translation>Wählen Sie einen gespeicherten Server zum Duplizieren.</translation>
    </message>
    <message>
        <source>Choose a saved server to delete.</source>
        <translation>Wählen Sie einen gespeicherten Server zum Löschen.</translation>
    </message>
    <message>
        <source>Delete server</source>
        <translation>Server löschen</translation>
    </message>
    <message>
        <source>Delete the saved server &quot;%1&quot;?</source>
        <translation>Den gespeicherten Server „%1“ löschen?</translation>
    </message>
    <message>
        <source>Connection files (*.tigervnc);;All files (*)</source>
        <translation>Verbindungsdateien (*.tigervnc);;Alle Dateien (*)</translation>
    </message>
    <message>
        <source>Type a server address, such as host:1, or choose a server from the list.</source>
        <translation>Geben Sie eine Serveradresse ein, etwa rechner:1, oder wählen Sie einen Server aus der Liste.</translation>
    </message>
    <message>
        <source>Open a connection file</source>
        <translation>Verbindungsdatei öffnen</translation>
    </message>
    <message>
        <source>Choose a saved server to export.</source>
        <translation>Wählen Sie einen gespeicherten Server zum Exportieren.</translation>
    </message>
    <message>
        <source>Export a connection file</source>
        <translation>Verbindungsdatei exportieren</translation>
    </message>
    <message>
        <source>No servers yet: type an address above, or add a server.</source>
        <translation>Noch keine Server: geben Sie oben eine Adresse ein oder fügen Sie einen Server hinzu.</translation>
    </message>
</context>
<context>
    <name>TlsChannel</name>
    <message>
        <source>it is signed by an authority this computer does not trust</source>
        <translation>es ist von einer Stelle unterschrieben, der dieser Rechner nicht vertraut</translation>
    </message>
    <message>
        <source>it has expired</source>
        <translation>es ist abgelaufen</translation>
    </message>
    <message>
        <source>it is not valid yet</source>
        <translation>es ist noch nicht gültig</translation>
    </message>
    <message>
        <source>it has been revoked</source>
        <translation>es wurde widerrufen</translation>
    </message>
    <message>
        <source>it is signed with an insecure algorithm</source>
        <translation>es ist mit einem unsicheren Verfahren unterschrieben</translation>
    </message>
    <message>
        <source>it is not a valid certificate</source>
        <translation>es ist kein gültiges Zertifikat</translation>
    </message>
    <message>
        <source>The secure connection could not be prepared (out of memory).</source>
        <translation>Die sichere Verbindung konnte nicht vorbereitet werden (kein Speicher mehr).</translation>
    </message>
    <message>
        <source>No certificate authority could be read from %1. Give a file of PEM certificates with --x509ca.</source>
        <translation>Aus %1 ließ sich keine Zertifizierungsstelle lesen. Geben Sie mit --x509ca eine Datei mit PEM-Zertifikaten an.</translation>
    </message>
    <message>
        <source>The secure connection could not be prepared (%1).</source>
        <translation>Die sichere Verbindung konnte nicht vorbereitet werden (%1).</translation>
    </message>
    <message>
        <source>The server did not complete the secure connection in time. Check the network, then connect again.</source>
        <translation>Der Server hat die sichere Verbindung nicht rechtzeitig aufgebaut. Prüfen Sie das Netz und verbinden Sie sich erneut.</translation>
    </message>
    <message>
        <source>The secure connection to the server failed (%1). Check the server&apos;s TLS settings, or choose other security types with --security.</source>
        <translation>Die sichere Verbindung zum Server ist gescheitert (%1). Prüfen Sie die TLS-Einstellungen des Servers oder wählen Sie mit --security andere Sicherheitstypen.</translation>
    </message>
    <message>
        <source>The server sent no usable certificate. Choose other security types with --security, or fix the server&apos;s certificate.</source>
        <translation>Der Server hat kein brauchbares Zertifikat gesendet. Wählen Sie mit --security andere Sicherheitstypen oder berichtigen Sie das Zertifikat des Servers.</translation>
    </message>
    <message>
        <source>

Beware: %1.</source>
        <translation>

Achtung: %1.</translation>
    </message>
    <message>
        <source>The server %1 identifies itself with a certificate that it signed itself, so no authority vouches for it.%2

SHA-256 fingerprint:
%3

Trust it only if this fingerprint matches the server&apos;s own. Trust this certificate and connect?</source>
        <translation>Der Server %1 weist sich mit einem Zertifikat aus, das er selbst unterschrieben hat; keine Stelle bürgt dafür.%2

SHA-256-Fingerabdruck:
%3

Vertrauen Sie ihm nur, wenn dieser Fingerabdruck mit dem des Servers übereinstimmt. Diesem Zertifikat vertrauen und verbinden?</translation>
    </message>
    <message>
        <source>The server&apos;s certificate was not trusted, so the connection was ended.</source>
        <translation>Dem Zertifikat des Servers wurde nicht vertraut, daher wurde die Verbindung beendet.</translation>
    </message>
    <message>
        <source>it is signed by the server itself, and %1 does not hold it</source>
        <translation>es ist vom Server selbst unterschrieben, und %1 enthält es nicht</translation>
    </message>
    <message>
        <source>it is signed by an authority that %1 does not hold</source>
        <translation>es ist von einer Stelle unterschrieben, die %1 nicht enthält</translation>
    </message>
    <message>
        <source>it was issued for %1, not for %2</source>
        <translation>es wurde für %1 ausgestellt, nicht für %2</translation>
    </message>
    <message>
        <source>Connect with a name the certificate holds, or have the certificate issued for %1.</source>
        <translation>Verbinden Sie sich mit einem Namen, den das Zertifikat enthält, oder lassen Sie das Zertifikat für %1 ausstellen.</translation>
    </message>
    <message>
        <source>Ask whoever runs the server to renew its certificate.</source>
        <translation>Bitten Sie den Betreiber des Servers, sein Zertifikat zu erneuern.</translation>
    </message>
    <message>
        <source>Check the server&apos;s address; if the server&apos;s certificate authority is your own, give its certificate with --x509ca FILE.</source>
        <translation>Prüfen Sie die Adresse des Servers; stammt seine Zertifizierungsstelle von Ihnen, geben Sie ihr Zertifikat mit --x509ca DATEI an.</translation>
    </message>
    <message>
        <source>Check that %1 is the right file: it must hold the certificate of the authority that signed the server&apos;s, or the server&apos;s own if it signed it itself. Without --x509ca you may choose to trust a self-signed certificate yourself.</source>
        <translation>Prüfen Sie, ob %1 die richtige Datei ist: Sie muss das Zertifikat der Stelle enthalten, die das des Servers unterschrieben hat, oder das des Servers selbst, wenn er es selbst unterschrieben hat. Ohne --x509ca können Sie selbst entscheiden, einem selbst unterschriebenen Zertifikat zu vertrauen.</translation>
    </message>
    <message>
        <source>The server&apos;s certificate was refused: %1. %2</source>
        <translation>Das Zertifikat des Servers wurde abgelehnt: %1. %2</translation>
    </message>
    <message>
        <source>The certificate of %1 has changed since you trusted it: someone may be intercepting the connection. If the server&apos;s certificate was replaced on purpose, remove this line from %2, then connect again:
%3</source>
        <translation>Das Zertifikat von %1 hat sich geändert, seit Sie ihm vertraut haben: Möglicherweise hört jemand die Verbindung ab. Wurde das Zertifikat des Servers absichtlich ersetzt, entfernen Sie diese Zeile aus %2 und verbinden Sie sich erneut:
%3</translation>
    </message>
    <message>
        <source>it names no host at all, not %1 either</source>
        <translation>es nennt gar keinen Rechner, auch nicht %1</translation>
    </message>
</context>
<context>
    <name>Vemo</name>
    <message>
        <source>Connecting to %1…</source>
        <translation>Verbindung zu %1 wird aufgebaut …</translation>
    </message>
    <message>
        <source>connecting</source>
        <translation>verbinde</translation>
    </message>
    <message>
        <source>Authenticating with %1…</source>
        <translation>Anmeldung bei %1 …</translation>
    </message>
    <message>
        <source>authenticating</source>
        <translation>melde an</translation>
    </message>
    <message>
        <source>Preparing the session with %1…</source>
        <translation>Sitzung mit %1 wird vorbereitet …</translation>
    </message>
    <message>
        <source>preparing</source>
        <translation>bereite vor</translation>
    </message>
    <message>
        <source>Disconnecting from %1…</source>
        <translation>Verbindung zu %1 wird getrennt …</translation>
    </message>
    <message>
        <source>disconnecting</source>
        <translation>trenne</translation>
    </message>
    <message>
        <source>Not connected to %1.</source>
        <translation>Nicht mit %1 verbunden.</translation>
    </message>
    <message>
        <source>not connected</source>
        <translation>nicht verbunden</translation>
    </message>
    <message>
        <source>Open Document</source>
        <translation>Dokument öffnen</translation>
    </message>
    <message>
        <source>%1 (%2) - vemo</source>
        <translation>%1 (%2) – vemo</translation>
    </message>
    <message>
        <source>&amp;Reconnect</source>
        <translation>&amp;Neu verbinden</translation>
    </message>
    <message>
        <source>port %1</source>
        <translation>Port %1</translation>
    </message>
    <message>
        <source>Cannot wait for servers</source>
        <translation>Warten auf Server nicht möglich</translation>
    </message>
    <message>
        <source>Port %1 cannot be used: %2. Choose another port with --listen PORT.</source>
        <translation>Port %1 ist nicht nutzbar: %2. Wählen Sie mit --listen PORT einen anderen Port.</translation>
    </message>
    <message>
        <source>Waiting for a VNC server to connect on port %1…</source>
        <translation>Warte auf Port %1, bis ein VNC-Server sich verbindet…</translation>
    </message>
    <message>
        <source>listening</source>
        <translation>warte auf Server</translation>
    </message>
    <message>
        <source>Reconnecting in %1 s…</source>
        <translation>Neuer Verbindungsversuch in %1 s…</translation>
    </message>
    <message>
        <source>reconnecting</source>
        <translation>verbinde neu</translation>
    </message>
    <message>
        <source>&amp;Esc</source>
        <translation>&amp;Esc</translation>
    </message>
    <message>
        <source>&amp;Tab</source>
        <translation>&amp;Tab</translation>
    </message>
    <message>
        <source>F&amp;1</source>
        <translation>F&amp;1</translation>
    </message>
    <message>
        <source>F&amp;2</source>
        <translation>F&amp;2</translation>
    </message>
    <message>
        <source>F&amp;3</source>
        <translation>F&amp;3</translation>
    </message>
    <message>
        <source>F&amp;4</source>
        <translation>F&amp;4</translation>
    </message>
    <message>
        <source>F&amp;5</source>
        <translation>F&amp;5</translation>
    </message>
    <message>
        <source>F&amp;6</source>
        <translation>F&amp;6</translation>
    </message>
    <message>
        <source>F&amp;7</source>
        <translation>F&amp;7</translation>
    </message>
    <message>
        <source>F&amp;8</source>
        <translation>F&amp;8</translation>
    </message>
    <message>
        <source>F&amp;9</source>
        <translation>F&amp;9</translation>
    </message>
    <message>
        <source>F1&amp;0</source>
        <translation>F1&amp;0</translation>
    </message>
    <message>
        <source>F11</source>
        <translation>F11</translation>
    </message>
    <message>
        <source>F12</source>
        <translation>F12</translation>
    </message>
    <message>
        <source>&amp;Super</source>
        <translation>&amp;Super</translation>
    </message>
    <message>
        <source>&amp;Print</source>
        <translation>&amp;Druck</translation>
    </message>
    <message>
        <source>Hold C&amp;trl for the next key</source>
        <translation>&amp;Strg für die nächste Taste halten</translation>
    </message>
    <message>
        <source>Hold A&amp;lt for the next key</source>
        <translation>A&amp;lt für die nächste Taste halten</translation>
    </message>
    <message>
        <source>Hold S&amp;hift for the next key</source>
        <translation>Umsc&amp;halt für die nächste Taste halten</translation>
    </message>
    <message>
        <source>Hold S&amp;uper for the next key</source>
        <translation>Su&amp;per für die nächste Taste halten</translation>
    </message>
    <message>
        <source>&amp;Full screen</source>
        <translation>&amp;Vollbild</translation>
    </message>
    <message>
        <source>Fit to &amp;window</source>
        <translation>An Fenster &amp;anpassen</translation>
    </message>
    <message>
        <source>&amp;Actual size (1:1)</source>
        <translation>&amp;Originalgröße (1:1)</translation>
    </message>
    <message>
        <source>Zoom &amp;in</source>
        <translation>Ver&amp;größern</translation>
    </message>
    <message>
        <source>Zoom &amp;out</source>
        <translation>Ver&amp;kleinern</translation>
    </message>
    <message>
        <source>&amp;Resize the remote desktop to the window</source>
        <translation>&amp;Entfernten Bildschirm ans Fenster anpassen</translation>
    </message>
    <message>
        <source>&amp;View only</source>
        <translation>N&amp;ur ansehen</translation>
    </message>
    <message>
        <source>Send Ctrl+Alt+&amp;Del</source>
        <translation>Strg+Alt+Ent&amp;f senden</translation>
    </message>
    <message>
        <source>Send &amp;key</source>
        <translation>&amp;Taste senden</translation>
    </message>
    <message>
        <source>Re&amp;connect</source>
        <translation>&amp;Neu verbinden</translation>
    </message>
    <message>
        <source>Di&amp;sconnect</source>
        <translation>Ver&amp;bindung trennen</translation>
    </message>
    <message>
        <source>&amp;Menu</source>
        <translation>&amp;Menü</translation>
    </message>
    <message>
        <source>%1, view only</source>
        <translation>%1, nur ansehen</translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation>Been&amp;den</translation>
    </message>
    <message>
        <source>Touch&amp;pad mode</source>
        <translation>Touchpad-&amp;Modus</translation>
    </message>
    <message>
        <source>Key &amp;bar</source>
        <translation>Tastenle&amp;iste</translation>
    </message>
    <message>
        <source>Keys o&amp;n the bar</source>
        <translation>Tasten der Leiste &amp;wählen</translation>
    </message>
    <message>
        <source>Type te&amp;xt…</source>
        <translation>Te&amp;xt tippen…</translation>
    </message>
    <message>
        <source>Type text</source>
        <translation>Text tippen</translation>
    </message>
    <message>
        <source>Text to type on the remote desktop:</source>
        <translation>Text, der auf dem entfernten Bildschirm getippt wird:</translation>
    </message>
    <message>
        <source>&amp;Type</source>
        <translation>&amp;Tippen</translation>
    </message>
    <message>
        <source>%1 - %2 (%3) - vemo</source>
        <translation>%1 - %2 (%3) - vemo</translation>
    </message>
    <message>
        <source>Actual size in lo&amp;gical pixels</source>
        <translation>Originalgröße in logis&amp;chen Pixeln</translation>
    </message>
    <message>
        <source>&amp;Automatic</source>
        <translation>&amp;Automatisch</translation>
    </message>
    <message>
        <source>&amp;High (lossless)</source>
        <translation>&amp;Hoch (verlustfrei)</translation>
    </message>
    <message>
        <source>&amp;Medium</source>
        <translation>&amp;Mittel</translation>
    </message>
    <message>
        <source>&amp;Low (256 colours)</source>
        <translation>&amp;Niedrig (256 Farben)</translation>
    </message>
    <message>
        <source>Qualit&amp;y</source>
        <translation>&amp;Qualität</translation>
    </message>
    <message>
        <source>Connection infor&amp;mation…</source>
        <translation>Verbindungsinfo&amp;rmationen…</translation>
    </message>
</context>
<context>
    <name>VncClientThread</name>
    <message>
        <source>Server not found.</source>
        <translation>Server nicht gefunden.</translation>
    </message>
    <message>
        <source>VNC authentication failed.</source>
        <translation>VNC-Anmeldung fehlgeschlagen.</translation>
    </message>
    <message>
        <source>VNC authentication failed because of too many authentication tries.</source>
        <translation>VNC-Anmeldung fehlgeschlagen: zu viele Anmeldeversuche.</translation>
    </message>
    <message>
        <source>VNC server closed connection.</source>
        <translation>Der VNC-Server hat die Verbindung beendet.</translation>
    </message>
    <message>
        <source>VNC connection failed.</source>
        <translation>VNC-Verbindung fehlgeschlagen.</translation>
    </message>
    <message>
        <source>The remote desktop is too large to show (%1 x %2 pixels).</source>
        <translation>Der entfernte Bildschirm ist zu groß zum Anzeigen (%1 × %2 Pixel).</translation>
    </message>
    <message>
        <source>Not enough memory to show the remote desktop (%1 x %2 pixels).</source>
        <translation>Nicht genug Speicher, um den entfernten Bildschirm anzuzeigen (%1 × %2 Pixel).</translation>
    </message>
    <message>
        <source>The VNC server sent a message this viewer does not understand.</source>
        <translation>Der VNC-Server hat eine Nachricht gesendet, die dieser Betrachter nicht versteht.</translation>
    </message>
    <message>
        <source>The VNC server sent an image that lies outside its screen.</source>
        <translation>Der VNC-Server hat ein Bild gesendet, das außerhalb seines Bildschirms liegt.</translation>
    </message>
    <message>
        <source>The connection to the VNC server was lost. Check the network and that the server still runs, then reconnect.</source>
        <translation>Die Verbindung zum VNC-Server ist abgebrochen. Prüfen Sie das Netzwerk und ob der Server noch läuft, und verbinden Sie sich dann erneut.</translation>
    </message>
    <message>
        <source>Sign-in was cancelled; no password was sent. Connect again to sign in.</source>
        <translation>Die Anmeldung wurde abgebrochen; es wurde kein Passwort gesendet. Verbinden Sie sich erneut, um sich anzumelden.</translation>
    </message>
    <message>
        <source>The VNC server sent more clipboard text than this viewer accepts (%1 MiB).</source>
        <translation>Der VNC-Server hat mehr Text für die Zwischenablage gesendet, als dieser Betrachter annimmt (%1 MiB).</translation>
    </message>
    <message>
        <source>The SSH tunnel to the VNC server was lost: the gateway or the network between went away. Check the network and the gateway, then reconnect.</source>
        <translation>Der SSH-Tunnel zum VNC-Server ist abgerissen: Das Gateway oder das Netz dazwischen ist weggefallen. Prüfen Sie Netz und Gateway und verbinden Sie sich dann neu.</translation>
    </message>
</context>
<context>
    <name>VncView</name>
    <message>
        <source>VNC failure</source>
        <translation>VNC-Fehler</translation>
    </message>
    <message>
        <source>not encrypted</source>
        <translation>unverschlüsselt</translation>
    </message>
    <message>
        <source>encrypted, server verified</source>
        <translation>verschlüsselt, Server geprüft</translation>
    </message>
    <message>
        <source>encrypted, certificate trusted by you</source>
        <translation>verschlüsselt, Zertifikat von Ihnen als vertrauenswürdig bestätigt</translation>
    </message>
    <message>
        <source>encrypted, server not verified</source>
        <translation>verschlüsselt, Server nicht geprüft</translation>
    </message>
    <message>
        <source>Unknown server identity</source>
        <translation>Unbekannte Identität des Servers</translation>
    </message>
</context>
</TS>
