<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ro_RO" sourcelanguage="en">
<context>
    <name>QFileDialog</name>
    <message>
        <source>Open</source>
        <translation>Deschide</translation>
    </message>
    <message>
        <source>&amp;Open</source>
        <translation>&amp;Deschide</translation>
    </message>
    <message>
        <source>&amp;Save</source>
        <translation>&amp;Salvează</translation>
    </message>
    <message>
        <source>&amp;Choose</source>
        <translation>&amp;Alege</translation>
    </message>
    <message>
        <source>Save As</source>
        <translation>Salvează ca</translation>
    </message>
    <message>
        <source>Find Directory</source>
        <translation>Alegeți un dosar</translation>
    </message>
    <message>
        <source>Look in:</source>
        <translation>Caută în:</translation>
    </message>
    <message>
        <source>File &amp;name:</source>
        <translation>&amp;Nume fișier:</translation>
    </message>
    <message>
        <source>Files of type:</source>
        <translation>Fișiere de tipul:</translation>
    </message>
    <message>
        <source>Directory:</source>
        <translation>Dosar:</translation>
    </message>
    <message>
        <source>Back</source>
        <translation>Înapoi</translation>
    </message>
    <message>
        <source>Go back</source>
        <translation>Mergi înapoi</translation>
    </message>
    <message>
        <source>Forward</source>
        <translation>Înainte</translation>
    </message>
    <message>
        <source>Go forward</source>
        <translation>Mergi înainte</translation>
    </message>
    <message>
        <source>Parent Directory</source>
        <translation>Dosarul părinte</translation>
    </message>
    <message>
        <source>Go to the parent directory</source>
        <translation>Mergi la dosarul părinte</translation>
    </message>
    <message>
        <source>Create New Folder</source>
        <translation>Dosar nou</translation>
    </message>
    <message>
        <source>Create a New Folder</source>
        <translation>Creează un dosar nou</translation>
    </message>
    <message>
        <source>List View</source>
        <translation>Listă</translation>
    </message>
    <message>
        <source>Change to list view mode</source>
        <translation>Arată fișierele într-o listă</translation>
    </message>
    <message>
        <source>Detail View</source>
        <translation>Detalii</translation>
    </message>
    <message>
        <source>Change to detail view mode</source>
        <translation>Arată fișierele cu detaliile lor</translation>
    </message>
    <message>
        <source>Sidebar</source>
        <translation>Bara laterală</translation>
    </message>
    <message>
        <source>List of places and bookmarks</source>
        <translation>Locuri și semne de carte</translation>
    </message>
    <message>
        <source>Files</source>
        <translation>Fișiere</translation>
    </message>
    <message>
        <source>Show </source>
        <translation>Arată </translation>
    </message>
    <message>
        <source>&amp;Rename</source>
        <translation>&amp;Redenumește</translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation>Ș&amp;terge</translation>
    </message>
    <message>
        <source>Show &amp;hidden files</source>
        <translation>Arată fișierele &amp;ascunse</translation>
    </message>
    <message>
        <source>&amp;New Folder</source>
        <translation>Dosar &amp;nou</translation>
    </message>
    <message>
        <source>New Folder</source>
        <translation>Dosar nou</translation>
    </message>
    <message>
        <source>Recent Places</source>
        <translation>Locuri recente</translation>
    </message>
    <message>
        <source>All Files (*)</source>
        <translation>Toate fișierele (*)</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>Toate fișierele (*)</translation>
    </message>
    <message>
        <source>Directories</source>
        <translation>Dosare</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Ștergere</translation>
    </message>
    <message>
        <source>%1
Directory not found.
Please verify the correct directory name was given.</source>
        <translation>%1
Dosarul nu a fost găsit.
Verificați dacă numele dosarului este scris corect.</translation>
    </message>
    <message>
        <source>%1
File not found.
Please verify the correct file name was given.</source>
        <translation>%1
Fișierul nu a fost găsit.
Verificați dacă numele fișierului este scris corect.</translation>
    </message>
    <message>
        <source>%1 already exists.
Do you want to replace it?</source>
        <translation>%1 există deja.
Îl înlocuiți?</translation>
    </message>
    <message>
        <source>'%1' is write protected.
Do you want to delete it anyway?</source>
        <translation>„%1” este protejat la scriere.
Îl ștergeți totuși?</translation>
    </message>
    <message>
        <source>Are you sure you want to delete '%1'?</source>
        <translation>Sigur ștergeți „%1”?</translation>
    </message>
    <message>
        <source>Could not delete directory.</source>
        <translation>Dosarul nu a putut fi șters.</translation>
    </message>
</context>
<context>
    <name>QFileSystemModel</name>
    <message>
        <source>Name</source>
        <translation>Nume</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Mărime</translation>
    </message>
    <message>
        <source>Type</source>
        <comment>All other platforms</comment>
        <translation>Tip</translation>
    </message>
    <message>
        <source>Date Modified</source>
        <translation>Modificat</translation>
    </message>
    <message>
        <source>Computer</source>
        <translation>Calculator</translation>
    </message>
    <message>
        <source>My Computer</source>
        <translation>Calculatorul meu</translation>
    </message>
    <message>
        <source>Invalid filename</source>
        <translation>Nume de fișier nepermis</translation>
    </message>
    <message>
        <source>&lt;b&gt;The name &quot;%1&quot; cannot be used.&lt;/b&gt;&lt;p&gt;Try using another name, with fewer characters or no punctuation marks.</source>
        <translation>&lt;b&gt;Numele „%1” nu poate fi folosit.&lt;/b&gt;&lt;p&gt;Încercați alt nume, mai scurt sau fără semne de punctuație.</translation>
    </message>
</context>
<context>
    <name>QAbstractFileIconProvider</name>
    <message>
        <source>Drive</source>
        <translation>Unitate de disc</translation>
    </message>
    <message>
        <source>Folder</source>
        <comment>All other platforms</comment>
        <translation>Dosar</translation>
    </message>
    <message>
        <source>Shortcut</source>
        <comment>All other platforms</comment>
        <translation>Scurtătură</translation>
    </message>
    <message>
        <source>Unknown</source>
        <translation>Necunoscut</translation>
    </message>
</context>
<context>
    <name>QPlatformTheme</name>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Salvează</translation>
    </message>
    <message>
        <source>Save All</source>
        <translation>Salvează tot</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Deschide</translation>
    </message>
    <message>
        <source>&amp;Yes</source>
        <translation>&amp;Da</translation>
    </message>
    <message>
        <source>Yes to &amp;All</source>
        <translation>Da pentru &amp;toate</translation>
    </message>
    <message>
        <source>&amp;No</source>
        <translation>&amp;Nu</translation>
    </message>
    <message>
        <source>N&amp;o to All</source>
        <translation>N&amp;u pentru toate</translation>
    </message>
    <message>
        <source>Abort</source>
        <translation>Abandonează</translation>
    </message>
    <message>
        <source>Retry</source>
        <translation>Reîncearcă</translation>
    </message>
    <message>
        <source>Ignore</source>
        <translation>Ignoră</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Închide</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Renunță</translation>
    </message>
    <message>
        <source>Discard</source>
        <translation>Renunță la ele</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Ajutor</translation>
    </message>
    <message>
        <source>Apply</source>
        <translation>Aplică</translation>
    </message>
    <message>
        <source>Reset</source>
        <translation>Resetează</translation>
    </message>
    <message>
        <source>Restore Defaults</source>
        <translation>Valorile inițiale</translation>
    </message>
</context>
<context>
    <name>QMessageBox</name>
    <message>
        <source>Show Details...</source>
        <translation>Arată detaliile...</translation>
    </message>
    <message>
        <source>Hide Details...</source>
        <translation>Ascunde detaliile...</translation>
    </message>
</context>
<context>
    <name>QLineEdit</name>
    <message>
        <source>&amp;Undo</source>
        <translation>&amp;Anulează</translation>
    </message>
    <message>
        <source>&amp;Redo</source>
        <translation>&amp;Refă</translation>
    </message>
    <message>
        <source>Cu&amp;t</source>
        <translation>&amp;Taie</translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <translation>&amp;Copiază</translation>
    </message>
    <message>
        <source>&amp;Paste</source>
        <translation>&amp;Lipește</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Șterge</translation>
    </message>
    <message>
        <source>Select All</source>
        <translation>Selectează tot</translation>
    </message>
</context>
<context>
    <name>QCommandLineParser</name>
    <message>
        <source>Usage: %1</source>
        <translation>Utilizare: %1</translation>
    </message>
    <message>
        <source>[options]</source>
        <translation>[opțiuni]</translation>
    </message>
    <message>
        <source>Options:</source>
        <translation>Opțiuni:</translation>
    </message>
    <message>
        <source>Arguments:</source>
        <translation>Argumente:</translation>
    </message>
    <message>
        <source>Unknown option '%1'.</source>
        <translation>Opțiune necunoscută: „%1”.</translation>
    </message>
    <message>
        <source>Unknown options: %1.</source>
        <translation>Opțiuni necunoscute: %1.</translation>
    </message>
    <message>
        <source>Missing value after '%1'.</source>
        <translation>Lipsește valoarea după „%1”.</translation>
    </message>
    <message>
        <source>Unexpected value after '%1'.</source>
        <translation>Valoare neașteptată după „%1”.</translation>
    </message>
    <message>
        <source>Displays help on commandline options.</source>
        <translation>Arată ajutorul pentru opțiunile liniei de comandă.</translation>
    </message>
    <message>
        <source>Displays help including Qt specific options.</source>
        <translation>Arată ajutorul, cu opțiunile proprii ale Qt.</translation>
    </message>
    <message>
        <source>Displays version information.</source>
        <translation>Arată versiunea.</translation>
    </message>
</context>
</TS>
