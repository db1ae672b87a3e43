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
    <name>rs485-cli</name>
    <message>
        <source>Try &apos;%1&apos;.</source>
        <translation>Подробнее: %1</translation>
    </message>
    <message>
        <source>cannot read %1: %2</source>
        <translation>не удаётся прочитать %1: %2</translation>
    </message>
    <message>
        <source>warning: the password file %1 is readable by other users; chmod 600 it</source>
        <translation>предупреждение: файл пароля %1 доступен для чтения другим пользователям; выполните chmod 600</translation>
    </message>
    <message>
        <source>This text.</source>
        <translation>Эта справка.</translation>
    </message>
    <message>
        <source>The version.</source>
        <translation>Версия.</translation>
    </message>
    <message>
        <source>The port: COMn as the window names it (the n-th serial device, USB adapters first), COMn=PATH, or a device PATH such as /dev/serial/by-id/...; a PATH tcp://HOST:PORT or rfc2217://HOST:PORT reaches a serial device server</source>
        <translation>Порт: COMn, как его называет окно (n-е последовательное устройство, сначала USB-адаптеры), COMn=PATH или путь к устройству, например /dev/serial/by-id/...; путь tcp://HOST:PORT или rfc2217://HOST:PORT ведёт к серверу последовательных устройств</translation>
    </message>
    <message>
        <source>One JSON object per line.</source>
        <translation>По объекту JSON на строку.</translation>
    </message>
    <message>
        <source>Append one line per frame sent or received to FILE: local time, TX or RX, the bytes in hex, the verdict.</source>
        <translation>Дописывать в FILE по строке на каждый отправленный или принятый кадр: местное время, TX или RX, байты в шестнадцатеричном виде, итог проверки.</translation>
    </message>
    <message>
        <source>no command given</source>
        <translation>не указана команда</translation>
    </message>
    <message>
        <source>unknown command &apos;%1&apos;</source>
        <translation>неизвестная команда &apos;%1&apos;</translation>
    </message>
    <message>
        <source>The command.</source>
        <translation>Команда.</translation>
    </message>
    <message>
        <source>Time per probed address in ms, 500..10000 (default 500).</source>
        <translation>Время на опрашиваемый адрес в мс, 500..10000 (по умолчанию 500).</translation>
    </message>
    <message>
        <source>First address probed (default 1).</source>
        <translation>Первый опрашиваемый адрес (по умолчанию 1).</translation>
    </message>
    <message>
        <source>Last address probed (default 247).</source>
        <translation>Последний опрашиваемый адрес (по умолчанию 247).</translation>
    </message>
    <message>
        <source>Record as the window does: &quot;ЗОР_номер - N.txt&quot; per device in DIR or the working directory, cp1251, CR LF, one row per device and minute. --record DIR or --record=DIR.</source>
        <translation>Записывать, как окно: &quot;ЗОР_номер - N.txt&quot; на устройство в DIR или в рабочем каталоге, cp1251, CR LF, по строке на устройство в минуту. --record DIR или --record=DIR.</translation>
    </message>
    <message>
        <source>Folder of the files.</source>
        <translation>Каталог файлов.</translation>
    </message>
    <message>
        <source>Also publish every accepted answer, as its JSON object, to an MQTT broker (QoS 1, retained); at most 1000 unsent messages are kept.</source>
        <translation>Также публиковать каждый принятый ответ, его объектом JSON, на брокер MQTT (QoS 1, с сохранением); хранится не больше 1000 неотправленных сообщений.</translation>
    </message>
    <message>
        <source>Topic prefix; each device publishes to PREFIX/ADDRESS (default rs485).</source>
        <translation>Префикс темы; каждое устройство публикуется в PREFIX/ADDRESS (по умолчанию rs485).</translation>
    </message>
    <message>
        <source>Log in to the broker as NAME. The password comes from --mqtt-password-file or the environment variable RS485_MQTT_PASSWORD, never from the command line.</source>
        <translation>Входить на брокер под именем NAME. Пароль берётся из --mqtt-password-file или переменной окружения RS485_MQTT_PASSWORD, никогда из командной строки.</translation>
    </message>
    <message>
        <source>The password is the first line of FILE (keep it chmod 600: a file others can read draws a warning).</source>
        <translation>Пароль — первая строка FILE (держите его с chmod 600: файл, который могут читать другие, вызывает предупреждение).</translation>
    </message>
    <message>
        <source>Talk TLS (default port then 8883) and verify the broker&apos;s certificate, host name included, against the CA certificate(s) in FILE. A certificate that does not verify ends the program with status 3; verification cannot be switched off.</source>
        <translation>Работать через TLS (порт по умолчанию тогда 8883) и проверять сертификат брокера, включая имя узла, по сертификату(ам) центра сертификации в FILE. Сертификат, не прошедший проверку, завершает программу с кодом 3; проверку отключить нельзя.</translation>
    </message>
    <message>
        <source>End after N seconds, ten years at most (default: at SIGINT or SIGTERM).</source>
        <translation>Закончить через N секунд, не больше десяти лет (по умолчанию: по SIGINT или SIGTERM).</translation>
    </message>
    <message>
        <source>Sends one readings request and prints the answer as the window shows it (or as JSON). Exit 1 when no valid answer comes within 1 s.</source>
        <translation>Посылает один запрос показаний и выводит ответ так, как его показывает окно (или в JSON). Код 1, если верный ответ не пришёл за 1 с.</translation>
    </message>
    <message>
        <source>Bus address, 1..247.</source>
        <translation>Адрес на шине, 1..247.</translation>
    </message>
    <message>
        <source>Bus addresses, 1..247.</source>
        <translation>Адреса на шине, 1..247.</translation>
    </message>
    <message>
        <source>Sends the address change, waits up to 2 s for the acknowledgement, then probes NEW. Exit 0 only when NEW answers, 1 otherwise, with the reason.</source>
        <translation>Посылает смену адреса, ждёт подтверждения до 2 с, затем опрашивает NEW. Код 0, только если NEW отвечает, иначе 1 с причиной.</translation>
    </message>
    <message>
        <source>Present address, 1..247.</source>
        <translation>Нынешний адрес, 1..247.</translation>
    </message>
    <message>
        <source>New address, 1..247, not OLD.</source>
        <translation>Новый адрес, 1..247, не равный OLD.</translation>
    </message>
    <message>
        <source>no password on the command line (every user of the machine can see it); use --mqtt-password-file FILE or RS485_MQTT_PASSWORD</source>
        <translation>пароль в командной строке недопустим (его видит любой пользователь машины); используйте --mqtt-password-file FILE или RS485_MQTT_PASSWORD</translation>
    </message>
    <message>
        <source>--port is required</source>
        <translation>нужен --port</translation>
    </message>
    <message>
        <source>--trace needs a FILE</source>
        <translation>для --trace нужен FILE</translation>
    </message>
    <message>
        <source>&apos;%1&apos; is no bus address (1..247)</source>
        <translation>&apos;%1&apos; — не адрес шины (1..247)</translation>
    </message>
    <message>
        <source>--timeout must be 500..10000</source>
        <translation>--timeout должен быть 500..10000</translation>
    </message>
    <message>
        <source>--from and --to must be 1..247, --from not above --to</source>
        <translation>--from и --to должны быть 1..247, --from не больше --to</translation>
    </message>
    <message>
        <source>scan takes no addresses</source>
        <translation>scan не принимает адресов</translation>
    </message>
    <message>
        <source>read takes one address</source>
        <translation>read принимает один адрес</translation>
    </message>
    <message>
        <source>set-address takes OLD and NEW</source>
        <translation>set-address принимает OLD и NEW</translation>
    </message>
    <message>
        <source>OLD and NEW are the same</source>
        <translation>OLD и NEW совпадают</translation>
    </message>
    <message>
        <source>--record-dir needs --record</source>
        <translation>для --record-dir нужен --record</translation>
    </message>
    <message>
        <source>--seconds must be 1..%1 (ten years)</source>
        <translation>--seconds должен быть 1..%1 (десять лет)</translation>
    </message>
    <message>
        <source>--mqtt HOST[:PORT]: a host, a port 1..65535, an IPv6 address in brackets ([::1]:1883)</source>
        <translation>--mqtt HOST[:PORT]: узел, порт 1..65535, адрес IPv6 в квадратных скобках ([::1]:1883)</translation>
    </message>
    <message>
        <source>--mqtt-password-file needs --mqtt-user</source>
        <translation>для --mqtt-password-file нужен --mqtt-user</translation>
    </message>
    <message>
        <source>--%1 needs --mqtt</source>
        <translation>для --%1 нужен --mqtt</translation>
    </message>
    <message>
        <source>scan %1..%2: %3 device(s) found</source>
        <translation>поиск %1..%2: найдено устройств: %3</translation>
    </message>
    <message>
        <source>no valid answer from device %1 within 1 s</source>
        <translation>нет верного ответа от устройства %1 за 1 с</translation>
    </message>
    <message>
        <source>no device to poll</source>
        <translation>нет устройств для опроса</translation>
    </message>
    <message>
        <source>device %1: sent %2, answered %3, dropped %4, silent %5, late or unasked %6</source>
        <translation>устройство %1: отправлено %2, отвечено %3, отброшено %4, молчало %5, поздних или без запроса %6</translation>
    </message>
    <message>
        <source>acknowledged %1, dropped %2 (queue full), unsent %3</source>
        <translation>подтверждено %1, отброшено %2 (очередь полна), не отправлено %3</translation>
    </message>
    <message>
        <source>device %1 did not acknowledge within 2 s</source>
        <translation>устройство %1 не подтвердило за 2 с</translation>
    </message>
    <message>
        <source>device %1 acknowledged, but nothing answers at %2</source>
        <translation>устройство %1 подтвердило, но по адресу %2 никто не отвечает</translation>
    </message>
    <message>
        <source>device %1 now answers at %2</source>
        <translation>устройство %1 теперь отвечает по адресу %2</translation>
    </message>
    <message>
        <source>cannot open the trace file &apos;%1&apos;: %2</source>
        <translation>не удаётся открыть файл трассировки &apos;%1&apos;: %2</translation>
    </message>
    <message>
        <source>cannot open %1: %2</source>
        <translation>не удаётся открыть %1: %2</translation>
    </message>
    <message>
        <source>Probe the next address as soon as the last one is settled: its answer is in, or the reply window has passed without a byte (--timeout does not apply).</source>
        <translation>Опрашивать следующий адрес, как только решён предыдущий: его ответ пришёл или окно ответа прошло без единого байта (--timeout не действует).</translation>
    </message>
    <message>
        <source>With --fast: how long a device has to start its answer, in ms after the probe&apos;s last byte left the port, 10..2000 (default 40). Raise it for slow devices.</source>
        <translation>С --fast: сколько времени у устройства, чтобы начать ответ, в мс после ухода последнего байта опроса из порта, 10..2000 (по умолчанию 40). Для медленных устройств увеличьте.</translation>
    </message>
    <message>
        <source>Time between two requests in ms, 200..60000 (default 1000); more for a slow link such as a radio modem.</source>
        <translation>Время между двумя запросами в мс, 200..60000 (по умолчанию 1000); больше для медленной связи, например радиомодема.</translation>
    </message>
    <message>
        <source>Probes the addresses in ascending order, one per interval (or, with --fast, each as soon as the one before is settled), and prints one line per device found (its address, or {&quot;address&quot;:N}); a summary goes to standard error. An address where bytes came but no valid acknowledgement is probed once more; when that fails too it is printed as N? (or {&quot;address&quot;:N,&quot;unreadable&quot;:true}) and counted as unreadable: two devices on one address, or a noisy line. Exit 0, also when nothing answered; 3 when the port stops taking writes.</source>
        <translation>Опрашивает адреса по возрастанию, по одному за интервал (или, с --fast, каждый, как только решён предыдущий), и выводит по строке на найденное устройство (его адрес или {&quot;address&quot;:N}); сводка идёт в стандартный поток ошибок. Адрес, с которого пришли байты, но не верное подтверждение, опрашивается ещё раз; если и тогда неудача, он выводится как N? (или {&quot;address&quot;:N,&quot;unreadable&quot;:true}) и считается неразборчивым: два устройства на одном адресе или зашумлённая линия. Код 0, даже если никто не ответил; 3, когда порт перестаёт принимать записи.</translation>
    </message>
    <message>
        <source>Asks every device in turn, one request per 1000 ms (--interval), as the window&apos;s poll does, except that a device that gives no valid answer within its tick is passed over until its next turn, so that one dead device does not hold the others back. Without addresses it scans first (--timeout, --from, --to). One line per accepted answer; at the end (SIGINT, SIGTERM or --seconds) one summary line per device on standard error: sent, answered, dropped, silent, late or unasked (good answers of a device that came outside its own request: they are never printed, recorded or published).
With --mqtt the client also publishes &quot;online&quot; (retained) to PREFIX/status at every connect and &quot;offline&quot; at the end; the broker publishes &quot;offline&quot; itself (the last will) when the client dies or loses its network. PREFIX/ADDRESS/status (retained) says &quot;answering&quot; from a device&apos;s first accepted answer and &quot;silent&quot; once the poll has passed over it, each when it changes. A broker that refuses the credentials (&quot;not authorised&quot;) or whose certificate does not verify ends the program with status 3.</source>
        <translation>Опрашивает устройства по очереди, по запросу в 1000 мс (--interval), как опрос окна, но устройство, не давшее верного ответа за свой такт, пропускается до следующей очереди, чтобы одно неработающее устройство не задерживало остальные. Без адресов сначала ищет устройства (--timeout, --from, --to). По строке на принятый ответ; в конце (SIGINT, SIGTERM или --seconds) по строке сводки на устройство в стандартном потоке ошибок: отправлено, отвечено, отброшено, молчало, поздних или без запроса (верные ответы устройства, пришедшие вне его собственного запроса: они никогда не выводятся, не записываются и не публикуются).
С --mqtt клиент также публикует &quot;online&quot; (с сохранением) в PREFIX/status при каждом подключении и &quot;offline&quot; в конце; брокер сам публикует &quot;offline&quot; (последняя воля), когда клиент погибает или теряет сеть. PREFIX/ADDRESS/status (с сохранением) говорит &quot;answering&quot; с первого принятого ответа устройства и &quot;silent&quot;, когда опрос его пропустил, каждый раз при перемене. Брокер, отвергающий учётные данные (&quot;not authorised&quot;), или брокер, чей сертификат не проходит проверку, завершает программу с кодом 3.</translation>
    </message>
    <message>
        <source>--reply-window must be 10..2000</source>
        <translation>--reply-window должно быть 10..2000</translation>
    </message>
    <message>
        <source>--reply-window needs --fast</source>
        <translation>для --reply-window нужен --fast</translation>
    </message>
    <message>
        <source>--interval must be 200..60000</source>
        <translation>--interval должно быть 200..60000</translation>
    </message>
    <message>
        <source>scan %1..%2 (stopped after %3): %4 device(s) found</source>
        <translation>поиск %1..%2 (остановлен после %3): найдено устройств: %4</translation>
    </message>
    <message>
        <source>; %1 unreadable: %2</source>
        <translation>; неразборчивых: %1: %2</translation>
    </message>
    <message>
        <source>scan: the port takes no more writes (probe of %1)</source>
        <translation>поиск: порт больше не принимает записи (опрос %1)</translation>
    </message>
    <message>
        <source>the broker refused the connection: %1</source>
        <translation>брокер отклонил подключение: %1</translation>
    </message>
    <message>
        <source>the certificate of the MQTT broker at %1 does not verify against %2 (%3)</source>
        <translation>сертификат брокера MQTT %1 не проходит проверку по %2 (%3)</translation>
    </message>
    <message>
        <source>the MQTT broker at %1 closed the connection (does it want TLS? --mqtt-cafile)</source>
        <translation>брокер MQTT %1 закрыл соединение (может быть, он ждёт TLS? --mqtt-cafile)</translation>
    </message>
    <message>
        <source>the MQTT broker at %1 closed the connection</source>
        <translation>брокер MQTT %1 закрыл соединение</translation>
    </message>
    <message>
        <source>the MQTT broker at %1 closed the connection: %2</source>
        <translation>брокер MQTT %1 закрыл соединение: %2</translation>
    </message>
    <message>
        <source>cannot create an MQTT client</source>
        <translation>не удаётся создать клиент MQTT</translation>
    </message>
    <message>
        <source>cannot use the MQTT user name %1</source>
        <translation>не удаётся использовать имя пользователя MQTT %1</translation>
    </message>
    <message>
        <source>cannot use the CA file %1 for TLS</source>
        <translation>не удаётся использовать файл CA %1 для TLS</translation>
    </message>
    <message>
        <source>cannot use the MQTT status topic %1</source>
        <translation>не удаётся использовать топик состояния MQTT %1</translation>
    </message>
    <message>
        <source>cannot reach the MQTT broker at %1: %2</source>
        <translation>брокер MQTT %1 недоступен: %2</translation>
    </message>
    <message>
        <source>no answer from the MQTT broker at %1 within %2 s</source>
        <translation>брокер MQTT %1 не ответил за %2 с</translation>
    </message>
    <message>
        <source>the MQTT broker at %1 refused an anonymous client: not authorised</source>
        <translation>брокер MQTT %1 отказал анонимному клиенту: not authorised</translation>
    </message>
    <message>
        <source>the MQTT broker at %1 refused the user %2: not authorised</source>
        <translation>брокер MQTT %1 отказал пользователю %2: not authorised</translation>
    </message>
    <message>
        <source>the MQTT broker at %1 refused the connection: %2</source>
        <translation>брокер MQTT %1 отклонил подключение: %2</translation>
    </message>
    <message>
        <source>--reply-window must be 10..10000</source>
        <translation>--reply-window должно быть 10..10000</translation>
    </message>
    <message>
        <source>--listen ADDR[:PORT]: an IP address, a port 1..65535, an IPv6 address in brackets ([::1]:4001)</source>
        <translation>--listen ADDR[:PORT]: IP-адрес, порт 1..65535, адрес IPv6 в квадратных скобках ([::1]:4001)</translation>
    </message>
    <message>
        <source>serve takes no addresses</source>
        <translation>serve не принимает адресов</translation>
    </message>
    <message>
        <source>Scans, reads, polls and records the devices of an RS-485 bus without a display.

Commands:
  scan                 list the addresses that answer (--fast: in seconds)
  read ADDR            one readings request, decoded
  poll [ADDR...]       ask every device in turn, once a second; record, publish
  set-address OLD NEW  give a device a new bus address
  serve                let several programs use the bus at once over TCP

rs485-cli COMMAND --help describes each command.

MQTT (poll): --mqtt HOST[:PORT] publishes every answer to PREFIX/ADDRESS (--topic, default rs485).
--mqtt-cafile FILE talks TLS (default port 8883) and verifies the broker&apos;s certificate and host name
against FILE; --mqtt-user NAME logs in, with the password from --mqtt-password-file FILE (first line)
or RS485_MQTT_PASSWORD, never from an argument. PREFIX/status says &quot;online&quot; or &quot;offline&quot;
(retained; the broker says &quot;offline&quot; itself when the client dies); PREFIX/ADDRESS/status says
&quot;answering&quot; or &quot;silent&quot; for each device (retained).

Exit status: 0 done, 1 no valid answer, 2 usage error, 3 port or broker unavailable
(also: the broker refuses the credentials, or its certificate does not verify).

Environment:
  RS485_MQTT_PASSWORD  the password for --mqtt-user when no --mqtt-password-file is given.</source>
        <translation>Ищет, читает, опрашивает и записывает устройства шины RS-485 без дисплея.

Команды:
  scan                 перечислить отвечающие адреса (--fast: за секунды)
  read ADDR            один запрос показаний с разбором
  poll [ADDR...]       опрашивать устройства по очереди, раз в секунду; запись, публикация
  set-address OLD NEW  дать устройству новый адрес шины
  serve                дать нескольким программам работать с шиной сразу по TCP

rs485-cli COMMAND --help описывает каждую команду.

MQTT (poll): --mqtt HOST[:PORT] публикует каждый ответ в PREFIX/ADDRESS (--topic, по умолчанию rs485).
--mqtt-cafile FILE включает TLS (порт по умолчанию 8883) и проверяет сертификат брокера и имя узла
по FILE; --mqtt-user NAME входит под именем, пароль берётся из --mqtt-password-file FILE (первая
строка) или RS485_MQTT_PASSWORD, никогда из аргумента. PREFIX/status говорит &quot;online&quot; или &quot;offline&quot;
(с сохранением; брокер сам говорит &quot;offline&quot;, когда клиент погибает); PREFIX/ADDRESS/status говорит
&quot;answering&quot; или &quot;silent&quot; для каждого устройства (с сохранением).

Код завершения: 0 готово, 1 нет верного ответа, 2 ошибка в командной строке, 3 порт или брокер
недоступен (а также: брокер отвергает учётные данные или его сертификат не проходит проверку).

Окружение:
  RS485_MQTT_PASSWORD  пароль для --mqtt-user, если не задан --mqtt-password-file.</translation>
    </message>
    <message>
        <source>The address and port to listen on (default 127.0.0.1:4001: this machine only). Whoever reaches it can use the bus, address changes included: name another address only on a trusted network.</source>
        <translation>Адрес и порт, на которых принимать подключения (по умолчанию 127.0.0.1:4001: только эта машина). Кто до него доберётся, тот может работать с шиной, в том числе менять адреса: другой адрес указывайте только в доверенной сети.</translation>
    </message>
    <message>
        <source>How long a device has to start its answer, in ms after the request&apos;s last byte left the port, 10..10000 (default 500); an answer begun in time gets its time on the line.</source>
        <translation>Сколько времени у устройства, чтобы начать ответ, в мс после того, как последний байт запроса покинул порт, 10..10000 (по умолчанию 500); ответу, начатому вовремя, даётся время его передачи по линии.</translation>
    </message>
    <message>
        <source>scan, read, poll, set-address or serve</source>
        <translation>scan, read, poll, set-address или serve</translation>
    </message>
    <message>
        <source>Owns the bus and lets several programs use it at once: each connects as to a raw-TCP serial device server (rs485-master --port COM1=tcp://127.0.0.1:4001, rs485-cli --port tcp://127.0.0.1:4001) and writes the bus&apos;s own requests. One request at a time goes on the bus, in the order they came; each answer goes back only to the program that asked. A request without an answer in the reply window gets nothing back, as on a line, and an answer that comes later goes to no one. At most 8 programs at once; one that sends what is no request, leaves half a request for 200 ms or has more than 64 requests waiting is disconnected. Every program that comes and goes is a line on standard error; at SIGINT or SIGTERM one summary line per program (requests, answers) and the totals.</source>
        <translation>Владеет шиной и даёт нескольким программам работать с ней одновременно: каждая подключается как к серверу последовательного порта в режиме raw TCP (rs485-master --port COM1=tcp://127.0.0.1:4001, rs485-cli --port tcp://127.0.0.1:4001) и пишет запросы самой шины. На шину уходит один запрос за раз, в порядке поступления; каждый ответ возвращается только той программе, которая спрашивала. На запрос без ответа в окне ответа ничего не возвращается, как на линии, а ответ, пришедший позже, не достаётся никому. Не более 8 программ сразу; программа, которая шлёт то, что не является запросом, оставляет половину запроса на 200 мс или держит в очереди больше 64 запросов, отключается. О каждой подключившейся и ушедшей программе пишется строка в стандартный поток ошибок; по SIGINT или SIGTERM — строка итогов на каждую программу (запросы, ответы) и общие итоги.</translation>
    </message>
    <message>
        <source>a request to no bus address (1..247)</source>
        <translation>запрос не к адресу шины (1..247)</translation>
    </message>
    <message>
        <source>an unknown command</source>
        <translation>неизвестная команда</translation>
    </message>
    <message>
        <source>a request with a bad CRC</source>
        <translation>запрос с неверной CRC</translation>
    </message>
    <message>
        <source>an answer of device %1 came outside its request (late or unasked); it goes to no one</source>
        <translation>ответ устройства %1 пришёл не в свой черёд (поздно или без запроса); он не достаётся никому</translation>
    </message>
    <message>
        <source>%1 refused: %2 clients are connected already</source>
        <translation>%1 отклонён: уже подключено клиентов: %2</translation>
    </message>
    <message>
        <source>half a request for %1 ms</source>
        <translation>половина запроса в течение %1 мс</translation>
    </message>
    <message>
        <source>client %1 (%2) connected</source>
        <translation>клиент %1 (%2) подключился</translation>
    </message>
    <message>
        <source>more than %1 requests waiting</source>
        <translation>в очереди больше %1 запросов</translation>
    </message>
    <message>
        <source>client %1 left</source>
        <translation>клиент %1 ушёл</translation>
    </message>
    <message>
        <source>client %1 disconnected: %2</source>
        <translation>клиент %1 отключён: %2</translation>
    </message>
    <message>
        <source>the server stops</source>
        <translation>сервер останавливается</translation>
    </message>
    <message>
        <source>client %1 (%2): %3 requests, %4 answers, %5 without an answer</source>
        <translation>клиент %1 (%2): запросов %3, ответов %4, без ответа %5</translation>
    </message>
    <message>
        <source>%1 clients, %2 requests, %3 answers; %4 refused; %5 answers went to no one</source>
        <translation>клиентов %1, запросов %2, ответов %3; отклонено %4; ответов, не доставшихся никому: %5</translation>
    </message>
    <message>
        <source>cannot listen on %1: %2</source>
        <translation>не удаётся принимать подключения на %1: %2</translation>
    </message>
    <message>
        <source>listening on %1</source>
        <translation>принимает подключения на %1</translation>
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
        <source>The port name COMn (COM1..COM5) opens PATH, a serial device or a pseudo-terminal, or a serial device server at tcp://HOST:PORT or rfc2217://HOST:PORT; may be given for several names.</source>
        <translation>Имя порта COMn (COM1..COM5) открывает PATH: последовательное устройство или псевдотерминал либо сервер последовательных устройств по адресу tcp://HOST:PORT или rfc2217://HOST:PORT; можно указать для нескольких имён.</translation>
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
    <message>
        <source>--shared: no device %1 in --devices</source>
        <translation>--shared: устройства %1 нет в --devices</translation>
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
  --turnaround ADDR:MS
                     the same for device ADDR (or &quot;all&quot;) only: a slow device
                     without a fault (repeatable)
  --shared ADDR      one more device at ADDR, which must be in --devices
                     (repeatable): both hear every request to ADDR and answer
                     together, so their answers collide into bytes that make
                     no valid frame, as two devices with one factory address do
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
  --turnaround ADDR:MS
                     то же только для устройства ADDR (или &quot;all&quot;): медленное
                     устройство без неисправности (можно повторять)
  --shared ADDR      ещё одно устройство на ADDR, который должен быть в --devices
                     (можно повторять): оба слышат каждый запрос к ADDR и отвечают
                     вместе, так что их ответы сталкиваются в байты, не дающие
                     верного кадра, как у двух устройств с одним заводским адресом
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
