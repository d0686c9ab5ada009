// The options of version 6.1.10, an earlier release: one monitor, fewer options, no
// video panel and no update images. Its `spec` export.

#include "specs/kit/formats.h"
#include "specs/kit/optionTable.h"

namespace zv::spec::v6110 {
namespace {

constexpr uint32_t general = ZV_SECTION_GENERAL;
constexpr uint32_t connection = ZV_SECTION_CONNECTION;
constexpr uint32_t both = ZV_SECTION_GENERAL | ZV_SECTION_CONNECTION;

const choiceEditor videoModes(videoModeChoices(), isVideoValue, 14);
const choiceEditor colourDepths({{u"16", u"65 тысяч цветов (16 бит)"},
                                 {u"24", u"16,7 миллиона цветов (24 бита)"}});
const choiceEditor keyboardLayouts({{u"us,ru", u"Английская и русская"},
                                    {u"us", u"Английская (США)"},
                                    {u"ru", u"Русская"}});
const choiceEditor timeZones({{u"Europe/Kaliningrad", u"Калининград (UTC+2)"},
                              {u"Europe/Moscow", u"Москва (UTC+3)"},
                              {u"Europe/Samara", u"Самара (UTC+4)"},
                              {u"Asia/Yekaterinburg", u"Екатеринбург (UTC+5)"},
                              {u"Asia/Novosibirsk", u"Новосибирск (UTC+7)"},
                              {u"Asia/Vladivostok", u"Владивосток (UTC+10)"}});
const addressEditor bootServer(true);
const choiceEditor logLevels({{u"error", u"Только ошибки"},
                              {u"warning", u"Ошибки и предупреждения"},
                              {u"info", u"Информационные сообщения"}});
const choiceEditor connectionTypes({{u"rdp", u"RDP (удалённый рабочий стол)"},
                                    {u"ica", u"ICA"},
                                    {u"vnc", u"VNC"}});
const hostEditor serverNames(false, true);
const textEditor displayNames(63);
const switchEditor autostartOn(u"Запускать соединение автоматически");
const rangeEditor startDelaySeconds(0, 300, u"секунд");
const switchEditor fullscreenOn(u"Во весь экран");

const optionDef optionRows[] = {
    {"video", u"1024x768@60", &videoModes, general},
    {"bpp", u"16", &colourDepths, general},
    {"keyboard_layout", u"us,ru", &keyboardLayouts, general},
    {"timezone", u"Europe/Moscow", &timeZones, general},
    {"server", u"", &bootServer, general},
    {"log_level", u"warning", &logLevels, general},
    {"type", u"rdp", &connectionTypes, connection},
    {"address", u"", &serverNames, connection},
    {"displayName", u"", &displayNames, connection},
    {"autostart", u"off", &autostartOn, connection},
    {"autostart_delay", u"0", &startDelaySeconds, connection},
    {"fullscreen", u"on", &fullscreenOn, both},
};

const manualDef manualRows[] = {
    {"video",
     u"<p><b>Видеорежим монитора</b> в виде <i>ШИРИНАxВЫСОТА@ЧАСТОТА</i>, например "
     u"<i>1280x1024@60</i>, или <i>auto</i> — режим, рекомендуемый монитором.</p>"},
    {"bpp",
     u"<p><b>Глубина цвета</b> экрана терминала: 16 или 24 бита на точку. 16 бит "
     u"уменьшают нагрузку на старые видеоадаптеры.</p>"},
    {"keyboard_layout",
     u"<p><b>Раскладки клавиатуры</b> терминала; первая действует после загрузки. "
     u"Переключение — Alt+Shift.</p>"},
    {"timezone", u"<p><b>Часовой пояс</b> терминала: часы на экране и время в журналах.</p>"},
    {"server",
     u"<p><b>Сервер загрузки</b> — IPv4-адрес, с которого терминал получает конфигурацию. "
     u"Пустое значение — адрес из ответа DHCP.</p>"},
    {"log_level",
     u"<p><b>Подробность журнала</b> терминала. Журнал передаётся на сервер загрузки.</p>"},
    {"type", u"<p><b>Тип соединения</b>: RDP, ICA или VNC.</p>"},
    {"address",
     u"<p><b>Адрес сервера</b> — имя узла или IPv4-адрес. Пустое значение — адрес вводит "
     u"пользователь.</p>"},
    {"displayName",
     u"<p><b>Название соединения</b> на экране терминала, до 63 символов. Если не задано, "
     u"показывается имя файла соединения.</p>"},
    {"autostart",
     u"<p><b>Автозапуск</b>: соединение запускается сразу после загрузки терминала.</p>"},
    {"autostart_delay",
     u"<p><b>Задержка автозапуска</b> в секундах, от 0 до 300, — на случай, если сервер "
     u"становится доступен не сразу после включения терминала.</p>"},
    {"fullscreen", u"<p><b>Во весь экран</b>: сеанс занимает весь экран терминала.</p>"},
};

const optionTable& table() {
  static const optionTable made(optionRows, manualRows);
  return made;
}

uint32_t count() {
  try {
    return table().count();
  } catch (...) {
    return 0;
  }
}
const zvOptionSpecRecord* get(uint32_t index) {
  try {
    return table().get(index);
  } catch (...) {
    return nullptr;
  }
}
const zvOptionSpecRecord* find(const char* key) {
  try {
    return table().find(key);
  } catch (...) {
    return nullptr;
  }
}

}  // namespace
}  // namespace zv::spec::v6110

extern "C" ZV_SPEC_EXPORT const zvSpec spec = {"6.1.10", zv::spec::v6110::count,
                                               zv::spec::v6110::get, zv::spec::v6110::find};
