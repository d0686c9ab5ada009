#include "specs/6.2.63/options.h"

#include "specs/kit/formats.h"

namespace zv::spec::v6263 {
namespace {

constexpr uint32_t general = ZV_SECTION_GENERAL;
constexpr uint32_t connection = ZV_SECTION_CONNECTION;
constexpr uint32_t both = ZV_SECTION_GENERAL | ZV_SECTION_CONNECTION;
constexpr uint32_t unlisted = ZV_SECTION_GENERAL | ZV_SECTION_UNLISTED;

bool modelineOrEmpty(std::u16string_view value) {
  return value.empty() || isModeline(value);
}
bool clockOrEmpty(std::u16string_view value) {
  return value.empty() || isClockTime(value);
}
bool webAddressOrEmpty(std::u16string_view value) {
  return value.empty() || isWebAddress(value);
}

std::vector<choiceItem> windowSizes() {
  std::vector<choiceItem> items = resolutionChoices();
  items.erase(items.begin());  // a window has no "auto" size
  return items;
}

// ---- editors -------------------------------------------------------------------------

const choiceEditor videoModes(videoModeChoices(), isVideoValue, 14);
const choiceEditor colourDepths(colourDepthChoices());
const displayEditor displayLines;
const choiceEditor monitorPositions({{u"right", u"Справа от основного"},
                                     {u"left", u"Слева от основного"},
                                     {u"above", u"Над основным"},
                                     {u"below", u"Под основным"}});
const choiceEditor resolutions(resolutionChoices(), isResolutionValue);
const choiceEditor refreshRates(refreshChoices(), isRefreshValue);
const switchEditor noDdc(u"Не опрашивать монитор по DDC");
const choiceEditor connectors(connectorChoices(), isConnectorName);
const textEditor modelines(255, modelineOrEmpty,
                           u"Пример: 148.5 1920 2008 2052 2200 1080 1084 1089 1125 +hsync +vsync");

const choiceEditor keyboardLayouts({{u"us,ru", u"Английская и русская"},
                                    {u"us", u"Английская (США)"},
                                    {u"ru", u"Русская"},
                                    {u"us,ua", u"Английская и украинская"},
                                    {u"us,by", u"Английская и белорусская"},
                                    {u"us,kz", u"Английская и казахская"},
                                    {u"gb", u"Английская (Великобритания)"},
                                    {u"de", u"Немецкая"},
                                    {u"fr", u"Французская"}});
const choiceEditor layoutSwitches({{u"alt_shift", u"Alt+Shift"},
                                   {u"ctrl_shift", u"Ctrl+Shift"},
                                   {u"caps_toggle", u"Caps Lock"},
                                   {u"win_space", u"Win+Пробел"}});
const switchEditor numLock(u"Включать NumLock при загрузке");
const choiceEditor locales({{u"ru_RU.UTF-8", u"Русский (Россия)"},
                            {u"en_US.UTF-8", u"English (United States)"},
                            {u"uk_UA.UTF-8", u"Українська"},
                            {u"be_BY.UTF-8", u"Беларуская"},
                            {u"kk_KZ.UTF-8", u"Қазақ тілі"},
                            {u"de_DE.UTF-8", u"Deutsch"}});
const choiceEditor timeZones({{u"Europe/Kaliningrad", u"Калининград (UTC+2)"},
                              {u"Europe/Moscow", u"Москва (UTC+3)"},
                              {u"Europe/Samara", u"Самара (UTC+4)"},
                              {u"Asia/Yekaterinburg", u"Екатеринбург (UTC+5)"},
                              {u"Asia/Omsk", u"Омск (UTC+6)"},
                              {u"Asia/Novosibirsk", u"Новосибирск (UTC+7)"},
                              {u"Asia/Krasnoyarsk", u"Красноярск (UTC+7)"},
                              {u"Asia/Irkutsk", u"Иркутск (UTC+8)"},
                              {u"Asia/Yakutsk", u"Якутск (UTC+9)"},
                              {u"Asia/Vladivostok", u"Владивосток (UTC+10)"},
                              {u"Asia/Magadan", u"Магадан (UTC+11)"},
                              {u"Asia/Kamchatka", u"Петропавловск-Камчатский (UTC+12)"},
                              {u"Europe/Minsk", u"Минск (UTC+3)"},
                              {u"Asia/Almaty", u"Алматы (UTC+5)"},
                              {u"Europe/Berlin", u"Берлин (UTC+1)"},
                              {u"Europe/London", u"Лондон (UTC+0)"},
                              {u"UTC", u"Всемирное время (UTC)"}});
const hostEditor serverNameOrNone(false, true);
const hostEditor terminalName(true, true);
const hostEditor domainNames(false, true,
                             u"Домен NetBIOS (CORP) или DNS (corp.example.local), либо пусто.");
const addressEditor bootServer(true);
const rangeEditor screensaverMinutes(0, 240, u"минут; 0 — не включать");
const rangeEditor monitorOffMinutes(0, 480, u"минут; 0 — не выключать");
const rangeEditor startDelaySeconds(0, 600, u"секунд");
const rangeEditor volumePercent(0, 100, u"процентов");
const rangeEditor tcpPort(1, 65535, u"");
const rangeEditor tcpPortOrDefault(0, 65535, u"0 — порт протокола по умолчанию");
const rangeEditor debugMask(0, 255, u"битовая маска");
const choiceEditor usbStorage({{u"on", u"Разрешены"},
                               {u"readonly", u"Только чтение"},
                               {u"off", u"Запрещены"}});
const switchEditor soundOn(u"Включить звук");
const switchEditor localPrinters(u"Подключать принтеры, присоединённые к терминалу");
const choiceEditor hostnamePolicies({{u"dhcp", u"Имя, выданное DHCP-сервером"},
                                     {u"mac", u"Имя по MAC-адресу (zv-001a2b3c4d5e)"},
                                     {u"fixed", u"Имя из параметра hostname"}});
const choiceEditor logLevels({{u"error", u"Только ошибки"},
                              {u"warning", u"Ошибки и предупреждения"},
                              {u"info", u"Информационные сообщения"},
                              {u"debug", u"Отладка (подробно)"}});
const switchEditor sshOn(u"Разрешить вход по SSH");
const choiceEditor shadowModes({{u"off", u"Запрещено"},
                                {u"ask", u"С разрешения пользователя"},
                                {u"on", u"Без запроса"}});
const textEditor vncPasswords(8, isPrintableAscii,
                              u"До 8 символов латиницы, цифр и знаков препинания.");
const choiceEditor updateModes({{u"auto", u"Автоматически при загрузке"},
                                {u"ask", u"С подтверждения пользователя"},
                                {u"off", u"Не обновлять"}});
const switchEditor webInterface(u"Включить веб-интерфейс терминала");
const textEditor clockTimes(5, clockOrEmpty, u"Время в виде ЧЧ:ММ, например 03:30, или пусто.");
const textEditor digests(64, isDigestOrEmpty);
const textEditor kernelArguments(255, isPrintableAscii);

const choiceEditor connectionTypes({{u"rdp", u"RDP (удалённый рабочий стол)"},
                                    {u"ica", u"ICA"},
                                    {u"vnc", u"VNC"},
                                    {u"ssh", u"SSH (терминал)"},
                                    {u"web", u"Веб-браузер в режиме киоска"},
                                    {u"local", u"Локальная программа"}});
const textEditor displayNames(63);
const textEditor userNames(104);
const switchEditor autostartOn(u"Запускать соединение автоматически");
const switchEditor fullscreenOn(u"Во весь экран");
const choiceEditor sessionColours({{u"auto", u"Как у экрана терминала"},
                                   {u"8", u"256 цветов (8 бит)"},
                                   {u"15", u"32 тысячи цветов (15 бит)"},
                                   {u"16", u"65 тысяч цветов (16 бит)"},
                                   {u"24", u"16,7 миллиона цветов (24 бита)"},
                                   {u"32", u"32 бита"}});
const choiceEditor windowSizeList(windowSizes(), isResolutionValue);
const switchEditor drivesOn(u"Перенаправлять USB-накопители в сеанс");
const switchEditor printersOn(u"Перенаправлять принтеры в сеанс");
const choiceEditor soundModes({{u"local", u"Воспроизводить на терминале"},
                               {u"remote", u"Оставлять на сервере"},
                               {u"off", u"Не воспроизводить"}});
const switchEditor clipboardOn(u"Общий буфер обмена");
const switchEditor smartcardOn(u"Перенаправлять смарт-карты");
const choiceEditor securityModes({{u"negotiate", u"Согласовать с сервером"},
                                  {u"nla", u"NLA (проверка на уровне сети)"},
                                  {u"tls", u"TLS"},
                                  {u"rdp", u"Стандартная защита RDP"}});
const textEditor webAddresses(1024, webAddressOrEmpty,
                              u"Адрес вида https://portal.example.local/start");
const textEditor commands(255);
const switchEditor viewOnly(u"Только просмотр");
const switchEditor reconnectOn(u"Переподключаться при обрыве");
const switchEditor compressionOn(u"Сжимать трафик");

// ---- the table -----------------------------------------------------------------------

const optionDef optionRows[] = {
    // screen
    {"video", u"auto", &videoModes, general},
    {"bpp", u"24", &colourDepths, general},
    {"display", u"", &displayLines, general},
    {"M2_display", u"", &displayLines, general},
    {"M2_position", u"right", &monitorPositions, general},
    {"resolution", u"auto", &resolutions, general},
    {"refresh", u"auto", &refreshRates, general},
    {"noddc", u"off", &noDdc, general},
    {"connector", u"auto", &connectors, general},
    {"modeline", u"", &modelines, general},
    // keyboard, language, time
    {"keyboard_layout", u"us,ru", &keyboardLayouts, both},
    {"keyboard_switch", u"alt_shift", &layoutSwitches, general},
    {"numlock", u"on", &numLock, general},
    {"locale", u"ru_RU.UTF-8", &locales, general},
    {"timezone", u"Europe/Moscow", &timeZones, general},
    {"ntp_server", u"", &serverNameOrNone, general},
    // power and start-up
    {"screensaver_timeout", u"10", &screensaverMinutes, general},
    {"dpms_timeout", u"20", &monitorOffMinutes, general},
    {"autostart_delay", u"0", &startDelaySeconds, both},
    {"reboot_time", u"", &clockTimes, general},
    // devices
    {"usb_storage", u"on", &usbStorage, general},
    {"sound", u"on", &soundOn, general},
    {"sound_volume", u"80", &volumePercent, general},
    {"printers", u"on", &localPrinters, general},
    // network and management
    {"server", u"", &bootServer, general},
    {"hostname_policy", u"dhcp", &hostnamePolicies, general},
    {"hostname", u"", &terminalName, general},
    {"log_level", u"warning", &logLevels, general},
    {"syslog_server", u"", &serverNameOrNone, general},
    {"ssh", u"off", &sshOn, general},
    {"ssh_port", u"22", &tcpPort, general},
    {"vnc_shadow", u"ask", &shadowModes, general},
    {"vnc_password", u"", &vncPasswords, general},
    {"web_interface", u"on", &webInterface, general},
    {"update_server", u"", &serverNameOrNone, general},
    {"update_mode", u"auto", &updateModes, general},
    // set by tools or support staff, not offered in the editor's list
    {"setupPassword", u"", &digests, unlisted},
    {"kernel_args", u"", &kernelArguments, unlisted},
    {"debug", u"0", &debugMask, unlisted},
    // connections
    {"type", u"rdp", &connectionTypes, connection},
    {"address", u"", &serverNameOrNone, connection},
    {"port", u"0", &tcpPortOrDefault, connection},
    {"displayName", u"", &displayNames, connection},
    {"user", u"", &userNames, connection},
    {"domain", u"", &domainNames, connection},
    {"autostart", u"off", &autostartOn, connection},
    {"fullscreen", u"on", &fullscreenOn, both},
    {"reconnect", u"on", &reconnectOn, both},
    {"colors", u"auto", &sessionColours, connection},
    {"window_size", u"1024x768", &windowSizeList, connection},
    {"security", u"negotiate", &securityModes, connection},
    {"gateway", u"", &serverNameOrNone, connection},
    {"compression", u"on", &compressionOn, connection},
    {"redirect_drives", u"off", &drivesOn, connection},
    {"redirect_printers", u"off", &printersOn, connection},
    {"redirect_sound", u"local", &soundModes, connection},
    {"redirect_clipboard", u"on", &clipboardOn, connection},
    {"redirect_smartcard", u"off", &smartcardOn, connection},
    {"url", u"", &webAddresses, connection},
    {"command", u"", &commands, connection},
    {"view_only", u"off", &viewOnly, connection},
};

}  // namespace

std::span<const optionDef> options() {
  return optionRows;
}

const optionTable& table() {
  static const optionTable made(options(), manuals());
  return made;
}

}  // namespace zv::spec::v6263
