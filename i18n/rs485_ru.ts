<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU" sourcelanguage="en">
<context>
    <name>QCommandLineParser</name>
    <message>
        <source>Usage: %1</source>
        <translation>Использование: %1</translation>
    </message>
    <message>
        <source>[options]</source>
        <translation>[параметры]</translation>
    </message>
    <message>
        <source>Options:</source>
        <translation>Параметры:</translation>
    </message>
    <message>
        <source>Arguments:</source>
        <translation>Аргументы:</translation>
    </message>
    <message>
        <source>Unknown option &apos;%1&apos;.</source>
        <translation>Неизвестный параметр &apos;%1&apos;.</translation>
    </message>
    <message>
        <source>Unknown options: %1.</source>
        <translation>Неизвестные параметры: %1.</translation>
    </message>
    <message>
        <source>Missing value after &apos;%1&apos;.</source>
        <translation>Нет значения после &apos;%1&apos;.</translation>
    </message>
    <message>
        <source>Unexpected value after &apos;%1&apos;.</source>
        <translation>Лишнее значение после &apos;%1&apos;.</translation>
    </message>
</context>
<context>
    <name>rs485-chart</name>
    <message>
        <source>Try &apos;rs485-chart --help&apos;.</source>
        <translation>Подробнее: rs485-chart --help</translation>
    </message>
    <message>
        <source>Charts of the recording files of rs485-master: the temperature and the step of each device over time.
Files that grow while they are shown are followed as they are recorded.</source>
        <translation>Графики файлов записи rs485-master: температура и шаг каждого устройства по времени.
Файлы, дописываемые во время просмотра, показываются по мере записи.</translation>
    </message>
    <message>
        <source>Show this help and exit.</source>
        <translation>Показать эту справку и выйти.</translation>
    </message>
    <message>
        <source>Show the version and exit.</source>
        <translation>Показать версию и выйти.</translation>
    </message>
    <message>
        <source>Write the chart (FILE.png) or the rows as UTF-8 CSV (FILE.csv) and exit without opening a window.</source>
        <translation>Записать график (ФАЙЛ.png) или строки в UTF-8 CSV (ФАЙЛ.csv) и выйти, не открывая окна.</translation>
    </message>
    <message>
        <source>FILE</source>
        <translation>ФАЙЛ</translation>
    </message>
    <message>
        <source>Write the rows as CSV for Excel (FILE.csv: semicolons between the fields, a decimal comma, UTF-8 with a BOM) and exit without opening a window. May be given together with --export.</source>
        <translation>Записать строки в CSV для Excel (ФАЙЛ.csv: точка с запятой между полями, десятичная запятая, UTF-8 с BOM) и выйти, не открывая окна. Можно вместе с --export.</translation>
    </message>
    <message>
        <source>files</source>
        <translation>файлы</translation>
    </message>
    <message>
        <source>Recording files (ЗОР_номер - N.txt).</source>
        <translation>Файлы записи (ЗОР_номер - N.txt).</translation>
    </message>
    <message>
        <source>[FILE...]</source>
        <translation>[ФАЙЛ...]</translation>
    </message>
    <message>
        <source>--export: the file name must end in .png or .csv</source>
        <translation>--export: имя файла должно оканчиваться на .png или .csv</translation>
    </message>
    <message>
        <source>--export: no recording files given</source>
        <translation>--export: не указаны файлы записи</translation>
    </message>
    <message>
        <source>--export-excel: the file name must end in .csv</source>
        <translation>--export-excel: имя файла должно оканчиваться на .csv</translation>
    </message>
    <message>
        <source>--export-excel: no recording files given</source>
        <translation>--export-excel: не указаны файлы записи</translation>
    </message>
    <message>
        <source>rows skipped: %1</source>
        <translation>пропущено строк: %1</translation>
    </message>
    <message>
        <source>cannot write %1</source>
        <translation>не удаётся записать %1</translation>
    </message>
    <message>
        <source>cannot read the file %1: %2</source>
        <translation>не удаётся прочитать файл %1: %2</translation>
    </message>
    <message>
        <source>Address %1</source>
        <translation>Адрес %1</translation>
    </message>
    <message>
        <source>.</source>
        <comment>decimal separator</comment>
        <translation>,</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>Время</translation>
    </message>
    <message>
        <source>Temperature, °C</source>
        <translation>Температура, °C</translation>
    </message>
    <message>
        <source>Step</source>
        <translation>Шаг</translation>
    </message>
    <message>
        <source>%1, step</source>
        <translation>%1, шаг</translation>
    </message>
    <message>
        <source>no data</source>
        <translation>нет данных</translation>
    </message>
    <message>
        <source>%1 °C, step %2</source>
        <translation>%1 °C, шаг %2</translation>
    </message>
    <message>
        <source>Charts of the recorded readings</source>
        <translation>Графики записи показаний</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Файл</translation>
    </message>
    <message>
        <source>&amp;Open…</source>
        <translation>&amp;Открыть…</translation>
    </message>
    <message>
        <source>&amp;Export…</source>
        <translation>&amp;Экспорт…</translation>
    </message>
    <message>
        <source>Export for Excel…</source>
        <translation>Экспорт для Excel…</translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation>&amp;Выход</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>&amp;Вид</translation>
    </message>
    <message>
        <source>Show &amp;all</source>
        <translation>&amp;Показать всё</translation>
    </message>
    <message>
        <source>Drag over a span of time to zoom in; the wheel zooms, the middle button or Shift pans, a double click shows everything</source>
        <translation>Выделите мышью отрезок времени, чтобы увеличить; колесо — масштаб, средняя кнопка или Shift — сдвиг, двойной щелчок — всё</translation>
    </message>
    <message>
        <source>Open recording files</source>
        <translation>Открыть файлы записи</translation>
    </message>
    <message>
        <source>Recording files (*.txt);;All files (*)</source>
        <translation>Файлы записи (*.txt);;Все файлы (*)</translation>
    </message>
    <message>
        <source>Export</source>
        <translation>Экспорт</translation>
    </message>
    <message>
        <source>PNG image (*.png);;CSV table (*.csv)</source>
        <translation>Рисунок PNG (*.png);;Таблица CSV (*.csv)</translation>
    </message>
    <message>
        <source>Cannot write the file %1</source>
        <translation>Не удаётся записать файл %1</translation>
    </message>
    <message>
        <source>Export for Excel</source>
        <translation>Экспорт для Excel</translation>
    </message>
    <message>
        <source>CSV table for Excel (*.csv)</source>
        <translation>Таблица CSV для Excel (*.csv)</translation>
    </message>
    <message>
        <source>Files: %1, rows: %2</source>
        <translation>Файлов: %1, строк: %2</translation>
    </message>
    <message>
        <source>, rows skipped: %1</source>
        <translation>, пропущено строк: %1</translation>
    </message>
    <message>
        <source>%1 — charts of the recorded readings</source>
        <translation>%1 — графики записи показаний</translation>
    </message>
</context>
<context>
    <name>rs485-master</name>
    <message>
        <source>no device</source>
        <translation>нет устройства</translation>
    </message>
    <message>
        <source>cannot open %1 (%2): %3</source>
        <translation>не удаётся открыть %1 (%2): %3</translation>
    </message>
    <message>
        <source>Try &apos;rs485-master --help&apos;.</source>
        <translation>Подробнее: rs485-master --help</translation>
    </message>
    <message>
        <source>Services controllers on an RS-485 bus through a serial port: scans the bus
addresses 1..247, gives a device a new address, polls the readings of every
found device and records them to one text file per device.
The port list offers COM1..COM5. Without --port, COMn is the n-th serial
device present when the port opens: USB adapters (ttyUSB*, ttyACM*) first,
then on-board ttyS* ports.</source>
        <translation>Обслуживает контроллеры на шине RS-485 через последовательный порт: ищет
устройства по адресам шины 1..247, даёт устройству новый адрес, опрашивает
показания всех найденных устройств и записывает их, по файлу на устройство.
Список портов предлагает COM1..COM5. Без --port COMn — это n-е последовательное
устройство, имеющееся в момент открытия порта: сначала USB-адаптеры (ttyUSB*,
ttyACM*), затем встроенные порты ttyS*.</translation>
    </message>
    <message>
        <source>Show this help and exit.</source>
        <translation>Показать эту справку и выйти.</translation>
    </message>
    <message>
        <source>Show the version and exit.</source>
        <translation>Показать версию и выйти.</translation>
    </message>
    <message>
        <source>The port name COMn (COM1..COM5) opens PATH, a serial device or a pseudo-terminal; may be given for several names.</source>
        <translation>Имя порта COMn (COM1..COM5) открывает PATH: последовательное устройство или псевдотерминал; можно указать для нескольких имён.</translation>
    </message>
    <message>
        <source>Append one line per frame sent or received to FILE: local time, TX or RX, the bytes in hex, the verdict.</source>
        <translation>Дописывать в ФАЙЛ по строке на каждый отправленный или принятый кадр: местное время, TX или RX, байты в шестнадцатеричном виде, итог проверки.</translation>
    </message>
    <message>
        <source>FILE</source>
        <translation>ФАЙЛ</translation>
    </message>
    <message>
        <source>unexpected argument &apos;%1&apos;</source>
        <translation>лишний аргумент &apos;%1&apos;</translation>
    </message>
    <message>
        <source>--port &apos;%1&apos; is not COMn=PATH</source>
        <translation>--port &apos;%1&apos; не имеет вида COMn=PATH</translation>
    </message>
    <message>
        <source>--port &apos;%1&apos;: the port names are COM1..COM5</source>
        <translation>--port &apos;%1&apos;: имена портов — COM1..COM5</translation>
    </message>
    <message>
        <source>--trace needs a FILE</source>
        <translation>для --trace нужен ФАЙЛ</translation>
    </message>
    <message>
        <source>cannot open the trace file &apos;%1&apos;: %2</source>
        <translation>не удаётся открыть файл трассировки &apos;%1&apos;: %2</translation>
    </message>
</context>
<context>
    <name>rs485-sim</name>
    <message>
        <source>%1: not a number: &apos;%2&apos;</source>
        <translation>%1: не число: &apos;%2&apos;</translation>
    </message>
    <message>
        <source>%1: %2 is out of %3..%4</source>
        <translation>%1: %2 вне диапазона %3..%4</translation>
    </message>
    <message>
        <source>%1: %2 is out of range</source>
        <translation>%1: %2 вне допустимого диапазона</translation>
    </message>
    <message>
        <source>%1 wants ADDRESS:LIST, got &apos;%2&apos;</source>
        <translation>%1 ожидает АДРЕС:СПИСОК, получено &apos;%2&apos;</translation>
    </message>
    <message>
        <source>fault %1</source>
        <translation>неисправность %1</translation>
    </message>
    <message>
        <source>%1 needs a value</source>
        <translation>для %1 нужно значение</translation>
    </message>
    <message>
        <source>unknown fault &apos;%1&apos;</source>
        <translation>неизвестная неисправность &apos;%1&apos;</translation>
    </message>
    <message>
        <source>reading %1</source>
        <translation>показание %1</translation>
    </message>
    <message>
        <source>unknown reading &apos;%1&apos;</source>
        <translation>неизвестное показание &apos;%1&apos;</translation>
    </message>
    <message>
        <source>%1 takes no value</source>
        <translation>%1 не принимает значения</translation>
    </message>
    <message>
        <source>unknown option &apos;%1&apos;</source>
        <translation>неизвестный параметр &apos;%1&apos;</translation>
    </message>
    <message>
        <source>--link and --port exclude each other</source>
        <translation>--link и --port исключают друг друга</translation>
    </message>
    <message>
        <source>--devices names %1 twice</source>
        <translation>--devices называет %1 дважды</translation>
    </message>
    <message>
        <source>%1: no device %2 in --devices</source>
        <translation>%1: устройства %2 нет в --devices</translation>
    </message>
    <message>
        <source>Usage: rs485-sim [OPTIONS]

Plays controllers on a simulated RS-485 bus for rs485-master. By default it
creates a pseudo-terminal, prints the path of the end the tool opens on
standard output, and serves until SIGINT or SIGTERM. Each device answers the
probe (0x01), the readings request (0x50) and the address change (0x02); its
readings follow a program that ramps the temperature to each step&apos;s setpoint,
holds it while the clock counts, and counts the cycles down to the end.

Options:
  --devices LIST     bus addresses of the devices, e.g. 3,7,12 (1..247; default 1)
  --link PATH        place a symlink at PATH pointing to the pseudo-terminal
                     (an existing symlink is replaced; removed at exit)
  --port DEVICE      serve a real serial device (2400 8N1, raw) instead of a
                     pseudo-terminal
  --no-pace          send each answer in one write instead of byte by byte at
                     2400 baud (about 4.2 ms a byte)
  --turnaround MS    pause between a request and its answer (default 2)
  --log FILE         append one line per frame: time in microseconds of the
                     steady clock, kind (req, ans, junk, line), verdict,
                     address, the bytes in hex; answers end with done=TIME of
                     their last byte
  --outage MS        how long SIGUSR2 keeps the line away (default 5000)
  --seed N           seed of the devices&apos; programs and of the fault draws
                     (default 1); the same seed plays the same bus
  --speed X          readings evolve X times faster than real time (default 1;
                     0 freezes them)
  --fault ADDR:LIST  faults of device ADDR (or &quot;all&quot;), LIST being NAME[=P],...
                     with P the probability 0..1 per request (default 1):
                       silent         no answer at all
                       bad-crc        the answer&apos;s CRC is wrong
                       split          the answer comes in 2..4 bursts
                       extra          bytes are appended to the answer
                       wrong-address  the answer names another address
                       bad-status     probe/address change answered with status != 0
                       late=MS        the answer comes MS ms (1..60000) after the
                                      request, while the other devices go on
                                      answering; every time unless late-p=P
                     and settings: extra-count=N, other-address=N,
                     fail-status=N, gap-min=MS, gap-max=MS (split gaps),
                     late-p=P (the share of late answers)
                     e.g. --fault 7:bad-crc=0.1,split=0.05 (repeatable)
  --fixed ADDR:LIST  device ADDR (or &quot;all&quot;) answers these readings as they are:
                     temperature, time, step, cycles, num-step,
                     set-temperature, set-time, status, address
                     e.g. --fixed 3:temperature=-200,time=130,cycles=0,status=0x80
  -h, --help         show this help and exit
  -v, --version      show the version and exit

Signals: SIGUSR1 takes the line away as an adapter pulled out does (the tool&apos;s
end hangs up, the --link symlink is removed) and, sent again, brings a new
pseudo-terminal back behind the same --link path. SIGUSR2 takes it away for
--outage milliseconds (default 5000) and brings it back by itself.
</source>
        <translation>Использование: rs485-sim [ПАРАМЕТРЫ]

Играет контроллеры на имитируемой шине RS-485 для rs485-master. По умолчанию
создаёт псевдотерминал, выводит на стандартный вывод путь того конца, который
открывает программа, и работает до SIGINT или SIGTERM. Каждое устройство
отвечает на опрос (0x01), запрос показаний (0x50) и смену адреса (0x02); его
показания следуют программе: температура растёт до уставки каждого шага,
держится, пока идут часы, а циклы отсчитываются до конца.

Параметры:
  --devices LIST     адреса устройств на шине, например 3,7,12 (1..247; по
                     умолчанию 1)
  --link PATH        поставить в PATH символьную ссылку на псевдотерминал
                     (прежняя ссылка заменяется; при выходе удаляется)
  --port DEVICE      работать на настоящем последовательном устройстве (2400
                     8N1, без обработки) вместо псевдотерминала
  --no-pace          посылать ответ одной записью, а не побайтно со скоростью
                     2400 бод (около 4,2 мс на байт)
  --turnaround MS    пауза между запросом и ответом (по умолчанию 2)
  --log FILE         дописывать по строке на кадр: время в микросекундах
                     монотонных часов, вид (req, ans, junk, line), вердикт,
                     адрес, байты в шестнадцатеричном виде; ответы кончаются
                     done=ВРЕМЯ их последнего байта
  --outage MS        сколько линия отсутствует после SIGUSR2 (по умолчанию
                     5000)
  --seed N           затравка программ устройств и розыгрыша неисправностей
                     (по умолчанию 1); одна затравка — одна и та же шина
  --speed X          показания меняются в X раз быстрее реального времени (по
                     умолчанию 1; 0 их замораживает)
  --fault ADDR:LIST  неисправности устройства ADDR (или &quot;all&quot;), LIST — это
                     NAME[=P],... где P — вероятность 0..1 на запрос (по
                     умолчанию 1):
                       silent         ответа нет совсем
                       bad-crc        CRC ответа неверна
                       split          ответ приходит 2..4 порциями
                       extra          к ответу добавлены лишние байты
                       wrong-address  ответ называет другой адрес
                       bad-status     на опрос и смену адреса статус != 0
                       late=MS        ответ приходит через MS мс (1..60000)
                                      после запроса, пока остальные
                                      устройства продолжают отвечать; всегда,
                                      если не задан late-p=P
                     и настройки: extra-count=N, other-address=N,
                     fail-status=N, gap-min=MS, gap-max=MS (паузы split),
                     late-p=P (доля поздних ответов)
                     например --fault 7:bad-crc=0.1,split=0.05 (можно
                     повторять)
  --fixed ADDR:LIST  устройство ADDR (или &quot;all&quot;) отвечает этими показаниями
                     как есть: temperature, time, step, cycles, num-step,
                     set-temperature, set-time, status, address
                     например --fixed 3:temperature=-200,time=130,cycles=0,status=0x80
  -h, --help         показать эту справку и выйти
  -v, --version      показать версию и выйти

Сигналы: SIGUSR1 убирает линию, как выдернутый адаптер (конец программы
получает обрыв, ссылка --link удаляется), а посланный снова возвращает новый
псевдотерминал за тем же путём --link. SIGUSR2 убирает её на --outage
миллисекунд (по умолчанию 5000) и возвращает сам.
</translation>
    </message>
    <message>
        <source>Try &apos;rs485-sim --help&apos;.</source>
        <translation>Подробнее: rs485-sim --help</translation>
    </message>
    <message>
        <source>devices %1 on %2</source>
        <translation>устройства %1 на %2</translation>
    </message>
    <message>
        <source> (link %1)</source>
        <translation> (ссылка %1)</translation>
    </message>
    <message>
        <source>, paced</source>
        <translation>, в темпе линии</translation>
    </message>
    <message>
        <source>, not paced</source>
        <translation>, без темпа линии</translation>
    </message>
    <message>
        <source>line gone for %1 ms</source>
        <translation>линия пропала на %1 мс</translation>
    </message>
    <message>
        <source>line gone</source>
        <translation>линия пропала</translation>
    </message>
    <message>
        <source>line back on %1</source>
        <translation>линия снова на %1</translation>
    </message>
</context>
<context>
    <name>rs485::OpenError</name>
    <message>
        <source>no error</source>
        <translation>ошибки нет</translation>
    </message>
    <message>
        <source>no such serial device</source>
        <translation>нет такого последовательного устройства</translation>
    </message>
    <message>
        <source>permission denied; add the user to the &quot;dialout&quot; group and log in again</source>
        <translation>доступ запрещён; добавьте пользователя в группу &quot;dialout&quot; и войдите в систему заново</translation>
    </message>
    <message>
        <source>the port is in use by another program</source>
        <translation>порт занят другой программой</translation>
    </message>
    <message>
        <source>not a serial device</source>
        <translation>это не последовательное устройство</translation>
    </message>
    <message>
        <source>the port refused the line settings</source>
        <translation>порт не принял параметры линии</translation>
    </message>
    <message>
        <source>the port could not be opened</source>
        <translation>порт не удалось открыть</translation>
    </message>
    <message>
        <source>; brltty (the braille display service) is running and may have claimed the adapter: stop it with &apos;sudo systemctl stop brltty-udev.service brltty.service&apos;, or remove it with &apos;sudo apt remove brltty&apos;, then plug the adapter in again</source>
        <translation>; работает brltty (служба брайлевских дисплеев), он мог захватить адаптер: остановите его командой &apos;sudo systemctl stop brltty-udev.service brltty.service&apos; или удалите командой &apos;sudo apt remove brltty&apos;, затем подключите адаптер заново</translation>
    </message>
</context>
</TS>
