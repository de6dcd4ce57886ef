// The sample world every fresh checkout runs against: a domain CORP with its
// controller, the workstation the programs run on, a file server, and two
// machines that cannot be reached (one offline, one with its remote registry
// stopped).  The programs run as CORP\alice, an administrator of her own
// workstation (as is common) but not of the servers; CORP\erin is a domain
// administrator (NTSIM_LOGON=CORP\erin reaches everything).
//
// It is written as data and serialized to the JSON world format, so the
// same importer that serves users and tests builds it.  Descriptors are
// chosen to show what administrators meet: inherited and explicit entries,
// deny entries, audit entries, keys only SYSTEM may read (SAM, SECURITY),
// and the SID of a deleted account still sitting in a few lists.  The text
// is deterministic: two processes that create it at once build equal worlds.
#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstdio>
#include <string>

#include "store/world_impl.h"

namespace platform::store {

namespace {

using json = nlohmann::ordered_json;

// Domain and machine SIDs; account SIDs below are these plus a RID.
#define CORP "S-1-5-21-1004336348-1177238915-682003330"
#define WKSTN "S-1-5-21-3623811015-3361044348-30300820"

const char* const kAlice = CORP "-1104";
const char* const kOldUser = CORP "-1120";   // deleted, still in some lists
const char* const kEngineering = CORP "-1201";
const char* const kFinance = CORP "-1202";
const char* const kHelpdesk = CORP "-1203";
const char* const kSvcBackup = CORP "-1110";

json Account(const char* name, int rid, const char* type) {
    json a = json::object();
    a["name"] = name;
    a["rid"] = rid;
    a["type"] = type;
    return a;
}

json Group(const char* name, int rid, const char* type, std::initializer_list<const char*> members) {
    json a = Account(name, rid, type);
    a["members"] = json::array();
    for (const char* member : members) a["members"].push_back(member);
    return a;
}

void Key(json& registry, const std::string& path, const char* sd = nullptr, json values = json()) {
    json k = json::object();
    k["key"] = path;
    if (sd != nullptr) k["sd"] = sd;
    if (!values.is_null()) k["values"] = std::move(values);
    registry.push_back(std::move(k));
}

json Values(std::initializer_list<std::pair<const char*, json>> list) {
    json v = json::object();
    for (const auto& [name, value] : list) v[name] = value;
    return v;
}

json Share(const char* name, const char* path, const char* remark, const char* sd, bool special = false,
           const char* type = "disk") {
    json s = json::object();
    s["name"] = name;
    s["path"] = path;
    s["remark"] = remark;
    s["type"] = type;
    if (special) s["special"] = true;
    s["max_uses"] = -1;
    if (sd != nullptr)
        s["sd"] = sd;
    else
        s["sd"] = nullptr;
    return s;
}

// A deterministic GUID-looking name for the n-th class registration.
std::string Guid(unsigned n) {
    std::uint64_t x = 0x9E3779B97F4A7C15ull * (n + 1);
    auto next = [&x]() {
        x ^= x >> 33;
        x *= 0xFF51AFD7ED558CCDull;
        x ^= x >> 29;
        return static_cast<unsigned>(x);
    };
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%04X-%04X%08X}", next(), next() & 0xFFFF, next() & 0xFFFF,
                  next() & 0xFFFF, next() & 0xFFFF, next());
    return text;
}

// Descriptors used more than once.
const char* const kSoftwareSd =
    "O:BAG:SYD:PAI(A;CI;KR;;;BU)(A;CI;0x3001f;;;PU)(A;CI;KA;;;BA)(A;CI;KA;;;SY)(A;CIIO;KA;;;CO)";
const char* const kSystemOnly = "O:SYG:SYD:P(A;CI;KA;;;SY)";
const char* const kSystemOnlyAdminDac = "O:BAG:SYD:P(A;CI;KA;;;SY)(A;;RCWD;;;BA)";

void WorkstationSoftware(json& r) {
    const std::string sw = "HKLM\\SOFTWARE";
    Key(r, sw, kSoftwareSd);
    // Classes: file types, program ids and class registrations.
    Key(r, sw + "\\Classes");
    const char* extensions[][3] = {
        {".txt", "txtfile", "Text Document"},       {".log", "txtfile", "Text Document"},
        {".ini", "inifile", "Configuration Settings"}, {".bat", "batfile", "MS-DOS Batch File"},
        {".cmd", "cmdfile", "Windows NT Command Script"}, {".reg", "regfile", "Registration Entries"},
        {".htm", "htmlfile", "HTML Document"},      {".html", "htmlfile", "HTML Document"},
        {".doc", "Word.Document.8", "Microsoft Word Document"}, {".xls", "Excel.Sheet.8", "Microsoft Excel Worksheet"},
        {".ppt", "PowerPoint.Show.8", "Microsoft PowerPoint Presentation"},
        {".pdf", "AcroExch.Document", "Adobe Acrobat Document"}, {".zip", "WinZip", "WinZip File"},
        {".bmp", "Paint.Picture", "Bitmap Image"},  {".jpg", "jpegfile", "JPEG Image"},
        {".gif", "giffile", "GIF Image"},           {".wav", "soundrec", "Wave Sound"},
        {".mp3", "mp3file", "MP3 Format Sound"},    {".vbs", "VBSFile", "VBScript Script File"},
        {".js", "JSFile", "JScript Script File"},
    };
    for (const auto& ext : extensions) {
        Key(r, sw + "\\Classes\\" + ext[0], nullptr, Values({{"", ext[1]}}));
    }
    std::string seen;
    for (const auto& ext : extensions) {
        const std::string progId = ext[1];
        if (seen.find("|" + progId + "|") != std::string::npos) continue;
        seen += "|" + progId + "|";
        Key(r, sw + "\\Classes\\" + progId, nullptr, Values({{"", ext[2]}}));
        Key(r, sw + "\\Classes\\" + progId + "\\DefaultIcon");
        Key(r, sw + "\\Classes\\" + progId + "\\shell\\open\\command", nullptr,
            Values({{"", json::object({{"type", "expand_sz"}, {"data", "%SystemRoot%\\system32\\NOTEPAD.EXE %1"}})}}));
    }
    for (unsigned i = 0; i < 48; ++i) {
        const std::string clsid = sw + "\\Classes\\CLSID\\" + Guid(i);
        Key(r, clsid, nullptr, Values({{"", "Component " + std::to_string(i + 1)}}));
        Key(r, clsid + "\\InprocServer32", nullptr,
            Values({{"", "C:\\WINDOWS\\system32\\comp" + std::to_string(i + 1) + ".dll"}, {"ThreadingModel", "Apartment"}}));
    }
    // The platform's own keys.
    const std::string ms = sw + "\\Microsoft";
    const std::string cv = ms + "\\Windows\\CurrentVersion";
    Key(r, cv, nullptr,
        Values({{"ProgramFilesDir", "C:\\Program Files"}, {"CommonFilesDir", "C:\\Program Files\\Common Files"}}));
    Key(r, cv + "\\Run", "O:BAG:SYD:PAI(A;CI;KR;;;BU)(A;CI;KA;;;BA)(A;CI;KA;;;SY)(D;CI;KW;;;PU)S:(AU;CISAFA;KW;;;WD)",
        Values({{"SynTPEnh", "C:\\Program Files\\Synaptics\\SynTP\\SynTPEnh.exe"},
                {"ccApp", "\"C:\\Program Files\\Common Files\\Symantec Shared\\ccApp.exe\""}}));
    Key(r, cv + "\\RunOnce");
    Key(r, cv + "\\Explorer\\Shell Folders", nullptr, Values({{"Common Desktop", "C:\\Documents and Settings\\All Users\\Desktop"}}));
    Key(r, cv + "\\Explorer\\Advanced");
    Key(r, cv + "\\Policies\\System", "O:BAG:SYD:PAI(A;CI;KR;;;AU)(A;CI;KA;;;BA)(A;CI;KA;;;SY)",
        Values({{"EnableLUA", 0}, {"dontdisplaylastusername", 0}}));
    Key(r, cv + "\\Policies\\Explorer");
    const char* uninstall[] = {"Adobe Reader 7.0", "Mozilla Firefox (1.5.0.4)", "WinZip", "Microsoft Office Professional Edition 2003",
                               "Symantec AntiVirus", "Citrix ICA Client", "Contoso Payroll"};
    for (const char* product : uninstall)
        Key(r, cv + "\\Uninstall\\" + product, nullptr, Values({{"DisplayName", product}}));
    Key(r, cv + "\\App Paths\\IEXPLORE.EXE", nullptr, Values({{"", "C:\\Program Files\\Internet Explorer\\IEXPLORE.EXE"}}));
    Key(r, cv + "\\App Paths\\WINWORD.EXE");
    Key(r, cv + "\\Setup", nullptr, Values({{"SourcePath", "D:\\"}}));
    Key(r, cv + "\\Telephony\\Locations");
    const std::string nt = ms + "\\Windows NT\\CurrentVersion";
    Key(r, nt, nullptr, Values({{"CurrentVersion", "5.1"}, {"CurrentBuildNumber", "2600"}, {"RegisteredOrganization", "Contoso"}}));
    Key(r, nt + "\\Winlogon", "O:BAG:SYD:P(A;CI;KR;;;BU)(A;CI;KR;;;PU)(A;CI;KA;;;BA)(A;CI;KA;;;SY)S:(AU;CIFA;KA;;;WD)(AU;CISA;KW;;;BA)",
        Values({{"Shell", "Explorer.exe"}, {"Userinit", "C:\\WINDOWS\\system32\\userinit.exe,"},
                {"DefaultDomainName", "CORP"}, {"AutoAdminLogon", "0"}}));
    Key(r, nt + "\\Winlogon\\Notify");
    Key(r, nt + "\\Fonts");
    Key(r, nt + "\\ProfileList", "O:BAG:SYD:P(A;CI;KR;;;BU)(A;CI;KA;;;BA)(A;CI;KA;;;SY)");
    Key(r, nt + "\\ProfileList\\S-1-5-18", nullptr,
        Values({{"ProfileImagePath", json::object({{"type", "expand_sz"}, {"data", "%SystemRoot%\\system32\\config\\systemprofile"}})}}));
    Key(r, nt + "\\ProfileList\\" + kAlice, nullptr,
        Values({{"ProfileImagePath", json::object({{"type", "expand_sz"}, {"data", "%SystemDrive%\\Documents and Settings\\alice"}})}}));
    Key(r, nt + "\\Perflib", "O:BAG:SYD:P(A;CI;KR;;;IU)(A;CI;KA;;;BA)(A;CI;KA;;;SY)(A;CI;KR;;;CO)");
    Key(r, nt + "\\Perflib\\009");
    Key(r, nt + "\\SvcHost");
    Key(r, nt + "\\Image File Execution Options", "O:BAG:SYD:P(A;CI;KR;;;BU)(A;CI;KA;;;BA)(A;CI;KA;;;SY)(D;CI;KA;;;" CORP "-1120)");
    Key(r, ms + "\\Cryptography", nullptr, Values({{"MachineGuid", "7b1f2c0a-5e4d-4a8b-9c3e-2f1d0e9a8b7c"}}));
    Key(r, ms + "\\Cryptography\\RNG", kSystemOnlyAdminDac);
    Key(r, ms + "\\Cryptography\\Protect\\Providers");
    Key(r, ms + "\\Internet Explorer", nullptr, Values({{"Version", "6.0.2900.2180"}}));
    Key(r, ms + "\\Internet Explorer\\Main", nullptr, Values({{"Start Page", "http://intranet.corp.example/"}}));
    Key(r, ms + "\\Internet Explorer\\Toolbar");
    Key(r, ms + "\\Windows Script Host\\Settings", nullptr, Values({{"Enabled", "1"}}));
    Key(r, ms + "\\DirectX", nullptr, Values({{"Version", "4.09.00.0904"}}));
    Key(r, ms + "\\NET Framework Setup\\NDP\\v2.0.50727", nullptr, Values({{"Install", 1}}));
    Key(r, ms + "\\Active Setup\\Installed Components");
    Key(r, ms + "\\Updates\\Windows XP\\SP3", "O:BAG:SYD:P(A;CI;KR;;;AU)(A;CI;KA;;;BA)(A;CI;KA;;;SY)");
    Key(r, ms + "\\Windows\\CurrentVersion\\Installer\\UserData", "O:SYG:SYD:P(A;CI;KA;;;SY)(A;CI;KR;;;BA)");
    Key(r, ms + "\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Products");
    // Office.
    const std::string office = ms + "\\Office\\11.0";
    for (const char* app : {"Common", "Word", "Excel", "PowerPoint", "Outlook", "Access"}) {
        Key(r, office + "\\" + app + "\\InstallRoot", nullptr, Values({{"Path", "C:\\Program Files\\Microsoft Office\\OFFICE11\\"}}));
        Key(r, office + "\\" + app + "\\Options");
    }
    Key(r, office + "\\Registration", "O:BAG:SYD:P(A;CI;KR;;;BU)(A;CI;KA;;;BA)(A;CI;KA;;;SY)(D;CI;KR;;;BG)");
    // Other vendors.
    Key(r, sw + "\\Adobe\\Acrobat Reader\\7.0\\InstallPath", nullptr, Values({{"", "C:\\Program Files\\Adobe\\Acrobat 7.0\\Reader"}}));
    Key(r, sw + "\\Adobe\\Acrobat Reader\\7.0\\AdobeViewer", nullptr, Values({{"EULA", 1}}));
    Key(r, sw + "\\Adobe\\Acrobat Reader\\7.0\\Language");
    Key(r, sw + "\\Adobe\\Repair\\Acrobat Reader");
    Key(r, sw + "\\Mozilla\\Mozilla Firefox\\1.5.0.4 (en-US)\\Main", nullptr, Values({{"Install Directory", "C:\\Program Files\\Mozilla Firefox"}}));
    Key(r, sw + "\\Mozilla\\Mozilla Firefox\\1.5.0.4 (en-US)\\Uninstall");
    Key(r, sw + "\\mozilla.org\\Mozilla", nullptr, Values({{"CurrentVersion", "1.8.0.4"}}));
    Key(r, sw + "\\Nico Mak Computing\\WinZip", "O:BAG:SYD:AI(A;CI;KA;;;" CORP "-1120)(A;CIID;KR;;;BU)(A;CIID;0x3001f;;;PU)(A;CIID;KA;;;BA)(A;CIID;KA;;;SY)(A;CIIOID;KA;;;CO)");
    Key(r, sw + "\\Nico Mak Computing\\WinZip\\WinIni");
    Key(r, sw + "\\Nico Mak Computing\\WinZip\\Programs");
    Key(r, sw + "\\Symantec\\Symantec AntiVirus",
        "O:SYG:SYD:P(A;CI;KR;;;BU)(D;CI;KW;;;BU)(A;CI;KA;;;BA)(A;CI;KA;;;SY)S:(AU;CIFA;KA;;;WD)(AU;CISA;WDWO;;;WD)");
    for (const char* sub : {"Install", "Common Client", "Quarantine", "LiveUpdate", "Exclusions", "Storages\\Filesystem\\RealTimeScan"})
        Key(r, sw + "\\Symantec\\Symantec AntiVirus\\" + sub);
    Key(r, sw + "\\Symantec\\InstalledApps", nullptr, Values({{"SAV Install Directory", "C:\\Program Files\\Symantec AntiVirus\\"}}));
    Key(r, sw + "\\Citrix\\ICA Client", nullptr, Values({{"ClientName", "WKSTN01"}}));
    Key(r, sw + "\\Citrix\\ICA Client\\Engine\\Lockdown Profiles\\All Regions\\Lockdown\\Network\\Protocols");
    Key(r, sw + "\\ODBC\\ODBC.INI\\ODBC Data Sources", nullptr, Values({{"Payroll", "SQL Server"}}));
    Key(r, sw + "\\ODBC\\ODBC.INI\\Payroll", "O:BAG:SYD:P(A;CI;KR;;;" CORP "-1202)(A;CI;KA;;;BA)(A;CI;KA;;;SY)(D;CI;KA;;;" CORP "-1120)",
        Values({{"Server", "SQL01"}, {"Database", "Payroll"}}));
    Key(r, sw + "\\ODBC\\ODBCINST.INI\\SQL Server", nullptr, Values({{"Driver", "C:\\WINDOWS\\System32\\SQLSRV32.dll"}}));
    Key(r, sw + "\\ODBC\\ODBCINST.INI\\Microsoft Access Driver (*.mdb)");
    // An in-house application with a careful descriptor: finance may
    // change it, the deleted account's old grant is still there, every
    // failed access is audited.
    const std::string payroll = sw + "\\Contoso\\Payroll";
    Key(r, sw + "\\Contoso", "O:BAG:DUD:AI(A;CI;KR;;;AU)(A;CIID;KA;;;BA)(A;CIID;KA;;;SY)");
    Key(r, payroll,
        "O:BAG:DUD:PAI(D;CI;KW;;;" CORP "-1201)(A;CI;KA;;;" CORP "-1202)(A;CI;KA;;;BA)(A;CI;KA;;;SY)(A;CI;KR;;;" CORP
        "-1120)(A;CI;KR;;;" CORP "-1203)S:PAI(AU;CIFA;KA;;;WD)(AU;CISA;KW;;;" CORP "-1202)",
        Values({{"Version", "3.2.1"}, {"DataPath", "\\\\FS01\\Finance\\Payroll"}}));
    for (const char* sub : {"Settings", "Settings\\Printing", "Modules\\Ledger", "Modules\\Tax", "Modules\\Reports", "Licenses"})
        Key(r, payroll + "\\" + sub);
    Key(r, payroll + "\\Licenses\\Keys", "O:BAG:DUD:P(A;CI;KA;;;BA)(A;CI;KA;;;SY)S:(AU;CISAFA;KR;;;WD)");
    Key(r, sw + "\\Contoso\\Timesheets", nullptr, Values({{"Server", "http://timesheets.corp.example/"}}));
    Key(r, sw + "\\Policies\\Microsoft\\Windows\\WindowsUpdate\\AU", "O:BAG:SYD:P(A;CI;KR;;;AU)(A;CI;KA;;;BA)(A;CI;KA;;;SY)",
        Values({{"NoAutoUpdate", 0}, {"AUOptions", 4}}));
    Key(r, sw + "\\Policies\\Microsoft\\SystemCertificates\\Root");
    Key(r, sw + "\\Policies\\Microsoft\\Windows NT\\Terminal Services");
    Key(r, sw + "\\Program Groups");
    Key(r, sw + "\\Secure", "O:BAG:SYD:P(A;CI;KA;;;BA)(A;CI;KA;;;SY)");
    Key(r, sw + "\\Windows 3.1 Migration Status\\IniFiles");
}

void WorkstationSystem(json& r) {
    const std::string ccs = "HKLM\\SYSTEM\\CurrentControlSet";
    Key(r, "HKLM\\SYSTEM", "O:BAG:SYD:PAI(A;CI;KR;;;BU)(A;CI;0x3001f;;;PU)(A;CI;KA;;;BA)(A;CI;KA;;;SY)(A;CIIO;KA;;;CO)");
    Key(r, "HKLM\\SYSTEM\\Select", nullptr, Values({{"Current", 1}, {"Default", 1}, {"LastKnownGood", 2}}));
    Key(r, ccs + "\\Control\\Lsa", "O:BAG:SYD:P(A;CI;KR;;;BU)(A;CI;KA;;;BA)(A;CI;KA;;;SY)S:(AU;CISAFA;KA;;;WD)",
        Values({{"restrictanonymous", 1}, {"LmCompatibilityLevel", 2}}));
    Key(r, ccs + "\\Control\\Lsa\\MSV1_0");
    Key(r, ccs + "\\Control\\SecurePipeServers\\winreg", "O:BAG:SYD:P(A;CI;KA;;;BA)(A;CI;KR;;;BO)(A;CI;KA;;;SY)",
        Values({{"Description", "Registry Server"}}));
    Key(r, ccs + "\\Control\\SecurePipeServers\\winreg\\AllowedPaths", nullptr,
        Values({{"Machine", json::array({"System\\CurrentControlSet\\Control\\ProductOptions", "Software\\Microsoft\\Windows NT\\CurrentVersion"})}}));
    Key(r, ccs + "\\Control\\Session Manager\\Environment", nullptr,
        Values({{"Path", json::object({{"type", "expand_sz"}, {"data", "%SystemRoot%\\system32;%SystemRoot%"}})}, {"OS", "Windows_NT"}}));
    Key(r, ccs + "\\Control\\Session Manager\\Memory Management");
    Key(r, ccs + "\\Control\\ProductOptions", nullptr, Values({{"ProductType", "WinNT"}}));
    Key(r, ccs + "\\Control\\Print\\Printers");
    Key(r, ccs + "\\Control\\TimeZoneInformation", nullptr, Values({{"StandardName", "W. Europe Standard Time"}, {"Bias", 4294967236u}}));
    Key(r, ccs + "\\Control\\Class");
    for (const char* service : {"EventLog\\Application", "EventLog\\System", "LanmanServer\\Parameters",
                                "LanmanServer\\Shares", "LanmanWorkstation\\Parameters", "Tcpip\\Parameters", "Dhcp",
                                "Dnscache", "Spooler", "W32Time\\Parameters", "Netlogon\\Parameters"})
        Key(r, ccs + "\\Services\\" + service);
    Key(r, ccs + "\\Services\\EventLog\\Security", "O:BAG:SYD:P(A;CI;KA;;;SY)(A;CI;KR;;;BA)S:(AU;CISAFA;KA;;;WD)");
    Key(r, ccs + "\\Services\\Tcpip\\Parameters\\Interfaces\\{4D36E972-E325-11CE-BFC1-08002BE10318}", nullptr,
        Values({{"EnableDHCP", 1}, {"DhcpIPAddress", "10.1.20.57"}}));
    Key(r, ccs + "\\Services\\RemoteRegistry", nullptr, Values({{"Start", 2}, {"ObjectName", "NT AUTHORITY\\LocalService"}}));
    Key(r, "HKLM\\SYSTEM\\MountedDevices", "O:BAG:SYD:P(A;CI;KA;;;SY)(A;CI;KA;;;BA)");
}

void WorkstationPrivate(json& r) {
    // SAM and SECURITY: administrators may read the descriptor of the top
    // keys and change it, but only SYSTEM reads what lies below.
    Key(r, "HKLM\\SAM", kSystemOnlyAdminDac);
    Key(r, "HKLM\\SAM\\SAM", kSystemOnly);
    Key(r, "HKLM\\SAM\\SAM\\Domains\\Account\\Users\\000001F4");
    Key(r, "HKLM\\SAM\\SAM\\Domains\\Account\\Users\\000001F5");
    Key(r, "HKLM\\SAM\\SAM\\Domains\\Account\\Users\\Names\\Administrator");
    Key(r, "HKLM\\SAM\\SAM\\Domains\\Builtin\\Aliases\\00000220");
    Key(r, "HKLM\\SECURITY", kSystemOnlyAdminDac);
    Key(r, "HKLM\\SECURITY\\Policy", kSystemOnly);
    for (const char* sub : {"Accounts", "PolAdtEv", "PolPrDmN", "Secrets\\$MACHINE.ACC", "Secrets\\DPAPI_SYSTEM"})
        Key(r, std::string("HKLM\\SECURITY\\Policy\\") + sub);
    Key(r, "HKLM\\SECURITY\\Cache", kSystemOnly);
    Key(r, "HKLM\\HARDWARE", "O:BAG:SYD:P(A;CI;KR;;;WD)(A;CI;KA;;;BA)(A;CI;KA;;;SY)");
    Key(r, "HKLM\\HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", nullptr,
        Values({{"ProcessorNameString", "Intel(R) Pentium(R) 4 CPU 3.00GHz"}, {"~MHz", 2993}}));
    Key(r, "HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM");
}

void WorkstationUsers(json& r) {
    Key(r, "HKU\\.DEFAULT", "O:SYG:SYD:P(A;CI;KR;;;BU)(A;CI;KA;;;BA)(A;CI;KA;;;SY)");
    Key(r, "HKU\\.DEFAULT\\Control Panel\\Desktop");
    Key(r, "HKU\\.DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");
    Key(r, "HKU\\S-1-5-18", "O:SYG:SYD:P(A;CI;KR;;;BU)(A;CI;KA;;;BA)(A;CI;KA;;;SY)");
    const std::string alice = std::string("HKU\\") + kAlice;
    Key(r, alice, "O:" CORP "-1104G:DUD:P(A;CI;KA;;;" CORP "-1104)(A;CI;KA;;;BA)(A;CI;KA;;;SY)(A;CI;KR;;;RC)");
    Key(r, alice + "\\Environment", nullptr, Values({{"TEMP", json::object({{"type", "expand_sz"}, {"data", "%USERPROFILE%\\Local Settings\\Temp"}})}}));
    Key(r, alice + "\\Control Panel\\Desktop", nullptr, Values({{"Wallpaper", ""}, {"ScreenSaveActive", "1"}}));
    Key(r, alice + "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RecentDocs");
    Key(r, alice + "\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", nullptr, Values({{"ctfmon.exe", "C:\\WINDOWS\\system32\\ctfmon.exe"}}));
    Key(r, alice + "\\Software\\Microsoft\\Office\\11.0\\Word\\Options");
    Key(r, alice + "\\Software\\Contoso\\Payroll\\Recent", "O:" CORP "-1104G:DUD:P(A;CI;KA;;;" CORP "-1104)(A;CI;KA;;;SY)(D;CI;KA;;;" CORP "-1203)");
    Key(r, alice + "\\Printers\\Connections\\,,FS01,HP LaserJet 4250");
    Key(r, alice + "_Classes", "O:" CORP "-1104G:DUD:P(A;CI;KA;;;" CORP "-1104)(A;CI;KA;;;BA)(A;CI;KA;;;SY)");
}

json Workstation() {
    json m = json::object();
    m["name"] = "WKSTN01";
    m["sid"] = WKSTN;
    m["domain"] = "CORP";
    m["online"] = true;
    m["remote_registry"] = true;
    m["accounts"] = json::array({Account("Administrator", 500, "user"), Account("Guest", 501, "user"),
                                 Account("HelpAssistant", 1000, "user"), Account("localadmin", 1003, "user"),
                                 Group("Support", 1004, "alias", {"CORP\\Helpdesk"}),
                                 Group("Scanner Users", 1005, "alias", {"CORP\\alice", "CORP\\bob"})});
    m["builtin"] = json::object({{"Administrators", {"WKSTN01\\Administrator", "CORP\\Domain Admins", "WKSTN01\\localadmin", "CORP\\alice"}},
                                 {"Users", {"NT AUTHORITY\\INTERACTIVE", "NT AUTHORITY\\Authenticated Users", "CORP\\Domain Users"}},
                                 {"Guests", {"WKSTN01\\Guest"}},
                                 {"Power Users", {"CORP\\Engineering"}},
                                 {"Backup Operators", {"CORP\\svc_backup"}},
                                 {"Remote Desktop Users", {"CORP\\Helpdesk"}}});
    json r = json::array();
    WorkstationSoftware(r);
    WorkstationSystem(r);
    WorkstationPrivate(r);
    WorkstationUsers(r);
    m["registry"] = std::move(r);
    m["shares"] = json::array({Share("IPC$", "", "Remote IPC", nullptr, true, "ipc"),
                               Share("C$", "C:\\", "Default share", nullptr, true),
                               Share("ADMIN$", "C:\\WINDOWS", "Remote Admin", nullptr, true),
                               Share("Scans", "C:\\Scans", "Scanner drop folder",
                                     "O:BAG:SYD:(A;;0x1301bf;;;" WKSTN "-1005)(A;;FA;;;BA)")});
    return m;
}

json Controller() {
    json m = json::object();
    m["name"] = "CORPDC";
    m["sid"] = "S-1-5-21-2817453109-1925012788-1588306157";
    m["domain"] = "CORP";
    m["online"] = true;
    m["remote_registry"] = true;
    m["accounts"] = json::array();
    m["builtin"] = json::object({{"Administrators", {"CORP\\Administrator", "CORP\\Domain Admins"}},
                                 {"Users", {"CORP\\Domain Users", "NT AUTHORITY\\Authenticated Users"}},
                                 {"Backup Operators", {"CORP\\svc_backup"}},
                                 {"Account Operators", {"CORP\\Helpdesk"}}});
    json r = json::array();
    Key(r, "HKLM\\SOFTWARE", kSoftwareSd);
    Key(r, "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", nullptr, Values({{"CurrentVersion", "5.2"}}));
    Key(r, "HKLM\\SYSTEM\\CurrentControlSet\\Services\\NTDS\\Parameters", "O:BAG:SYD:P(A;CI;KR;;;AU)(A;CI;KA;;;BA)(A;CI;KA;;;SY)",
        Values({{"DSA Database file", "C:\\WINDOWS\\NTDS\\ntds.dit"}}));
    Key(r, "HKLM\\SYSTEM\\CurrentControlSet\\Services\\Netlogon\\Parameters", nullptr, Values({{"SysVol", "C:\\WINDOWS\\SYSVOL\\sysvol"}}));
    Key(r, "HKLM\\SAM", kSystemOnlyAdminDac);
    Key(r, "HKLM\\SECURITY", kSystemOnlyAdminDac);
    m["registry"] = std::move(r);
    m["shares"] = json::array({Share("IPC$", "", "Remote IPC", nullptr, true, "ipc"),
                               Share("C$", "C:\\", "Default share", nullptr, true),
                               Share("ADMIN$", "C:\\WINDOWS", "Remote Admin", nullptr, true),
                               Share("NETLOGON", "C:\\WINDOWS\\SYSVOL\\sysvol\\corp.example\\SCRIPTS", "Logon server share",
                                     "O:BAG:DUD:(A;;0x1200a9;;;WD)(A;;FA;;;BA)"),
                               Share("SYSVOL", "C:\\WINDOWS\\SYSVOL\\sysvol", "Logon server share",
                                     "O:BAG:DUD:(A;;0x1200a9;;;WD)(A;;0x1200a9;;;AU)(A;;FA;;;BA)")});
    return m;
}

json FileServer() {
    json m = json::object();
    m["name"] = "FS01";
    m["sid"] = "S-1-5-21-1390067357-308236825-725345543";
    m["domain"] = "CORP";
    m["online"] = true;
    m["remote_registry"] = true;
    m["accounts"] = json::array({Account("Administrator", 500, "user"), Account("Guest", 501, "user"),
                                 Group("Share Admins", 1008, "alias", {"CORP\\Helpdesk"})});
    m["builtin"] = json::object({{"Administrators", {"FS01\\Administrator", "CORP\\Domain Admins"}},
                                 {"Users", {"CORP\\Domain Users"}},
                                 {"Backup Operators", {"CORP\\svc_backup"}},
                                 {"Power Users", {"FS01\\Share Admins"}}});
    json r = json::array();
    Key(r, "HKLM\\SOFTWARE", kSoftwareSd);
    Key(r, "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", nullptr, Values({{"CurrentVersion", "5.2"}}));
    Key(r, "HKLM\\SYSTEM\\CurrentControlSet\\Services\\LanmanServer\\Shares", nullptr,
        Values({{"Public", json::array({"Path=D:\\Public", "Permissions=0", "Type=0"})}}));
    Key(r, "HKLM\\SAM", kSystemOnlyAdminDac);
    m["registry"] = std::move(r);
    // The share descriptors use plain rights masks: 0x1200a9 read,
    // 0x1301bf change, FA full.
    m["shares"] = json::array({
        Share("IPC$", "", "Remote IPC", nullptr, true, "ipc"),
        Share("C$", "C:\\", "Default share", nullptr, true),
        Share("D$", "D:\\", "Default share", nullptr, true),
        Share("ADMIN$", "C:\\WINDOWS", "Remote Admin", nullptr, true),
        Share("Public", "D:\\Public", "Public files", "O:BAG:DUD:(A;;0x1301bf;;;WD)"),
        Share("Engineering", "D:\\Teams\\Engineering", "Engineering team",
              "O:BAG:DUD:(D;;FA;;;" CORP "-1202)(A;;0x1301bf;;;" CORP "-1201)(A;;0x1200a9;;;" CORP "-1203)(A;;FA;;;DA)"),
        Share("Finance", "D:\\Teams\\Finance", "Finance - restricted",
              "O:BAG:DUD:(D;;FA;;;" CORP "-1120)(D;;0x1301bf;;;" CORP "-1201)(A;;FA;;;" CORP "-1202)(A;;FA;;;DA)(A;;0x1200a9;;;" CORP "-1110)"),
        Share("Helpdesk", "D:\\Teams\\Helpdesk", "Helpdesk tools", "O:BAG:DUD:(A;;FA;;;" CORP "-1203)(A;;0x1200a9;;;DU)(A;;FA;;;BA)"),
        Share("Software", "D:\\Software", "Software installs", "O:BAG:DUD:(A;;0x1200a9;;;AU)(A;;FA;;;" CORP "-1203)(A;;FA;;;BA)"),
        Share("Profiles$", "D:\\Profiles", "Roaming profiles", "O:BAG:DUD:(A;;0x1301bf;;;DU)(A;;FA;;;BA)(A;;FA;;;SY)"),
        Share("Scratch", "D:\\Scratch", "Temporary files, emptied weekly", "O:BAG:DUD:(A;;FA;;;WD)(D;;FA;;;BG)"),
        Share("HPLJ4250", "HP LaserJet 4250,LocalsplOnly", "Second floor printer", "O:BAG:DUD:(A;;0x1200a9;;;WD)(A;;FA;;;BA)",
              false, "printer"),
    });
    return m;
}

json Unreachable(const char* name, const char* sid, bool online, bool remoteRegistry) {
    json m = json::object();
    m["name"] = name;
    m["sid"] = sid;
    m["domain"] = "CORP";
    m["online"] = online;
    m["remote_registry"] = remoteRegistry;
    m["accounts"] = json::array();
    m["builtin"] = json::object({{"Administrators", {"CORP\\Domain Admins"}}, {"Users", {"CORP\\Domain Users"}}});
    m["registry"] = json::array();
    m["shares"] = json::array({Share("C$", "C:\\", "Default share", nullptr, true)});
    return m;
}

std::string Build() {
    json doc = json::object();
    doc["local"] = "WKSTN01";
    doc["logon"] = "CORP\\alice";
    json corp = json::object();
    corp["name"] = "CORP";
    corp["sid"] = CORP;
    corp["dc"] = "CORPDC";
    corp["accounts"] = json::array({
        Account("Administrator", 500, "user"), Account("Guest", 501, "user"), Account("krbtgt", 502, "user"),
        Group("Domain Admins", 512, "group", {"CORP\\Administrator", "CORP\\erin"}),
        Group("Domain Users", 513, "group", {}), Group("Domain Guests", 514, "group", {"CORP\\Guest"}),
        Group("Domain Computers", 515, "group", {}), Group("Domain Controllers", 516, "group", {}),
        Account("alice", 1104, "user"), Account("bob", 1105, "user"), Account("carol", 1106, "user"),
        Account("dave", 1107, "user"), Account("erin", 1108, "user"), Account("svc_backup", 1110, "user"),
        Account("olduser", 1120, "user"),
        Group("Engineering", 1201, "group", {"alice", "dave"}),
        Group("Finance", 1202, "group", {"carol", "erin"}),
        Group("Helpdesk", 1203, "group", {"bob"}),
        Account("WKSTN01$", 1301, "computer"), Account("FS01$", 1302, "computer"), Account("CORPDC$", 1000, "computer"),
    });
    corp["accounts"][14]["deleted"] = true;  // olduser
    // Memberships of an empty list are not written by export; drop them so
    // the text round-trips unchanged.
    for (auto& account : corp["accounts"])
        if (account.contains("members") && account["members"].empty()) account.erase("members");
    doc["domains"] = json::array({corp});
    doc["machines"] = json::array({Workstation(), Controller(), FileServer(),
                                   Unreachable("LAPTOP07", "S-1-5-21-4046189232-1489453632-3297421004", false, true),
                                   Unreachable("KIOSK02", "S-1-5-21-2091317457-3805164839-1220361117", true, false)});
    return doc.dump(2) + "\n";
}

}  // namespace

const std::string& SampleWorldJson() {
    static const std::string text = Build();
    return text;
}

}  // namespace platform::store
