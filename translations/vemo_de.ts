<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE" sourcelanguage="en">
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
        <source>not a URL (vnc://[:password@]host[:port])</source>
        <translation>keine URL (vnc://[:Passwort@]Rechner[:Port])</translation>
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
        <source>VNC servers take no user name; give only a password: vnc://:password@host</source>
        <translation>VNC-Server kennen keinen Benutzernamen; geben Sie nur ein Passwort an: vnc://:Passwort@Rechner</translation>
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
        <source>unknown option &quot;%1&quot;</source>
        <translation>unbekannte Option „%1“</translation>
    </message>
    <message>
        <source>Usage: %1 [URL [QUALITY]]
Shows the desktop of a VNC server.

  URL      vnc://[:password@]host[:port]; ports below 100 are display
           numbers (0 is port 5900). Default: vnc://localhost:0
  QUALITY  1 high, 2 medium (default), 3 low
  --help   show this text

Qt&apos;s own options (such as -platform) go after these.
</source>
        <translation>Aufruf: %1 [URL [QUALITÄT]]
Zeigt den Bildschirm eines VNC-Servers.

  URL       vnc://[:Passwort@]Rechner[:Port]; Ports unter 100 sind
            Bildschirmnummern (0 ist Port 5900). Vorgabe: vnc://localhost:0
  QUALITÄT  1 hoch, 2 mittel (Vorgabe), 3 niedrig
  --help    zeigt diesen Text

Die Optionen von Qt (etwa -platform) folgen nach diesen.
</translation>
    </message>
    <message>
        <source>Try &apos;%1 --help&apos;.</source>
        <translation>Mehr dazu mit „%1 --help“.</translation>
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
        <source>%1 - vemo</source>
        <translation>%1 – vemo</translation>
    </message>
    <message>
        <source>%1 (%2) - vemo</source>
        <translation>%1 (%2) – vemo</translation>
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
        <source>The VNC server sent more clipboard text than this viewer accepts (1 MiB).</source>
        <translation>Der VNC-Server hat mehr Text für die Zwischenablage gesendet, als dieser Betrachter annimmt (1 MiB).</translation>
    </message>
</context>
<context>
    <name>VncView</name>
    <message>
        <source>VNC failure</source>
        <translation>VNC-Fehler</translation>
    </message>
</context>
</TS>
