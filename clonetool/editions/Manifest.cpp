#include "Manifest.h"

#include <array>

namespace vornix {
namespace {

struct ClientFile {
    const char* name;
    bool inAim48;
};

// Letter case exactly as the client installs its files.
constexpr std::array<ClientFile, 84> kClientFiles = {{
    {"aim.exe", true},           {"AimCoreSvcs.dll", false},   {"Aim95.hlp", true},
    {"Admin.ocm", true},         {"advert.ocm", true},         {"aim.odl", true},
    {"aim95.CNT", true},         {"AlertUI.ocm", true},        {"browse.ocm", true},
    {"buddyui.ocm", true},       {"ChatUI.ocm", true},         {"dunzip32.dll", false},
    {"dBenderC.dll", false},     {"icbmft.ocm", true},         {"icbmui.ocm", true},
    {"locateui.ocm", true},      {"miscui.ocm", true},         {"netwait.odl", true},
    {"NTP.ocm", true},           {"osclogin.ocm", true},       {"OscMail.ocm", true},
    {"oscmain.ocm", true},       {"osconfig.ocm", true},       {"OscSrch.ocm", true},
    {"popup.ocm", true},         {"proto.ocm", true},          {"rvapps.ocm", true},
    {"startup.ocm", true},       {"stats.ocm", true},          {"ticker.ocm", true},
    {"Xpcs Registry.dat", true}, {"aimauto.exe", true},        {"SendFile.exe", true},
    {"ShareFile.exe", true},     {"AimRes.dll", true},         {"aimtalk.dll", true},
    {"aimax.dll", false},        {"ate32.dll", true},          {"ateima32.dll", true},
    {"chksign.dll", true},       {"coolbos.dll", true},        {"coolbucky.dll", true},
    {"coolhttp.dll", true},      {"coolsocket.dll", true},     {"coolsos.dll", true},
    {"csh.dll", true},           {"idlemon.dll", true},        {"inetsocket.dll", true},
    {"jga0aol.dll", true},       {"jga1aol.dll", true},        {"jgataol.dll", true},
    {"jgedaol.dll", true},       {"jgs2aol.dll", true},        {"jgs3aol.dll", true},
    {"jgseaol.dll", true},       {"jgtkaol.dll", true},        {"oscarui.dll", true},
    {"oscore.dll", true},        {"oscres.dll", true},         {"PopupShim.dll", true},
    {"Patcher.dll", false},      {"ProgressDlg.dll", false},   {"StatsShim.dll", true},
    {"TranslateShim.dll", true}, {"wndutils.dll", true},       {"xmlparse.dll", true},
    {"xpcs.dll", true},          {"xprt.dll", true},           {"xptl.dll", true},
    {"icbmftvc.lst", true},      {"rvappstm.lst", true},       {"Sounds\\cashregister.wav", true},
    {"Sounds\\dooropen.wav", true}, {"Sounds\\doorslam.wav", true}, {"Sounds\\imrcv.wav", true},
    {"Sounds\\imsend.wav", true},   {"Sounds\\moo.wav", true},      {"Sounds\\newalert.wav", true},
    {"Sounds\\newmail.wav", true},  {"Sounds\\phone.wav", true},    {"Sounds\\ring.wav", true},
    {"Sounds\\talkbeg.wav", true},  {"Sounds\\talkend.wav", true},  {"Sounds\\talkstop.wav", true},
}};

}  // namespace

std::vector<std::string> ClientManifest(ClientRelease release) {
    std::vector<std::string> names;
    for (const ClientFile& file : kClientFiles)
        if (release == ClientRelease::Aim50 || file.inAim48) names.emplace_back(file.name);
    return names;
}

}  // namespace vornix
