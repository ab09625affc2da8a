<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU">
    <context>
        <name>Dialogs</name>
        <message>
            <source>Error</source>
            <translation>Ошибка</translation>
        </message>
        <message>
            <source>Confirm</source>
            <translation>Подтверждение</translation>
        </message>
        <message>
            <source>Apply to a copy...</source>
            <translation>Применить к копии...</translation>
        </message>
        <message>
            <source>Revert to a copy...</source>
            <translation>Откатить в копию...</translation>
        </message>
        <message>
            <source>Close</source>
            <translation>Закрыть</translation>
        </message>
    </context>
    <context>
        <name>Message</name>
        <message>
            <source>Full flash %1 does not exist!</source>
            <translation>Файл прошивки %1 не найден!</translation>
        </message>
        <message>
            <source>Melody file %1 does not exist!</source>
            <translation>Файл мелодии %1 не найден!</translation>
        </message>
        <message>
            <source>Melody file %1 is not a regular file!</source>
            <translation>Файл мелодии %1 — не обычный файл!</translation>
        </message>
        <message>
            <source>File "%1" already exist!</source>
            <translation>Файл «%1» уже существует!</translation>
        </message>
        <message>
            <source>Replace it?</source>
            <translation>Заменить его?</translation>
        </message>
        <message>
            <source>Done!</source>
            <translation>Готово!</translation>
        </message>
        <message>
            <source>Patches Created: %1</source>
            <translation>Созданы патчи: %1</translation>
        </message>
        <message>
            <source>Patches created: %1</source>
            <translation>Созданы патчи: %1</translation>
        </message>
        <message>
            <source>Patches not created:</source>
            <translation>Не созданы патчи:</translation>
        </message>
        <message>
            <source>Files patched: %1</source>
            <translation>Изменённые файлы: %1</translation>
        </message>
        <message>
            <source>None</source>
            <translation>нет</translation>
        </message>
        <message>
            <source>ERROR: aborted by user (file already exist)</source>
            <translation>ОШИБКА: отменено пользователем (файл уже существует)</translation>
        </message>
        <message>
            <source>"%1" to "%2"  (ERROR: %3)</source>
            <translation>«%1» на «%2»  (ОШИБКА: %3)</translation>
        </message>
        <message>
            <source>Full Flash not found</source>
            <translation>Файл прошивки не найден</translation>
        </message>
        <message>
            <source>File not found</source>
            <translation>Файл не найден</translation>
        </message>
        <message>
            <source>Don't replace .vkp</source>
            <translation>Не заменять .vkp</translation>
        </message>
        <message>
            <source>Unknown Error</source>
            <translation>Неизвестная ошибка</translation>
        </message>
        <message>
            <source>The image file %1 is longer than when it was opened. Open it again.</source>
            <translation>Файл образа %1 стал длиннее, чем при открытии. Откройте его заново.</translation>
        </message>
        <message>
            <source>.bin Full Flash</source>
            <translation>.bin фулфлеш</translation>
        </message>
        <message>
            <source>.bin EEPROM</source>
            <translation>.bin EEPROM</translation>
        </message>
        <message>
            <source>.eep EEPROM</source>
            <translation>.eep EEPROM</translation>
        </message>
        <message>
            <source>n/a</source>
            <translation>н/д</translation>
        </message>
        <message>
            <source>empty</source>
            <translation>пусто</translation>
        </message>
        <message>
            <source>Cut: "%1" holds %2 of %3 bytes</source>
            <translation>Обрезано: «%1» вмещает %2 из %3 байт</translation>
        </message>
        <message>
            <source>not found</source>
            <translation>не найден</translation>
        </message>
        <message>
            <source>content size %1 is larger than the capacity %2</source>
            <translation>размер содержимого %1 больше ёмкости %2</translation>
        </message>
        <message>
            <source>content (%1 bytes at %2) lies outside the image</source>
            <translation>содержимое (%1 байт по адресу %2) лежит за пределами образа</translation>
        </message>
        <message>
            <source>"%1": %2 has %3 bytes, the slot holds %4 (%5 cut)</source>
            <translation>«%1»: в %2 %3 байт, слот вмещает %4 (обрезается %5)</translation>
        </message>
        <message>
            <source>This file is larger than its slot; only its first bytes would be written:</source>
            <translation>Этот файл больше своего слота; будут записаны только его первые байты:</translation>
        </message>
        <message>
            <source>These files are larger than their slots; only their first bytes would be written:</source>
            <translation>Эти файлы больше своих слотов; будут записаны только их первые байты:</translation>
        </message>
        <message>
            <source>Cut them and go on?</source>
            <translation>Обрезать и продолжить?</translation>
        </message>
        <message>
            <source>Name "%1" not written: "%2" has no file chosen</source>
            <translation>Имя «%1» не записано: для «%2» не выбран файл</translation>
        </message>
        <message>
            <source>Name "%1" not written: "%2" is not checked</source>
            <translation>Имя «%1» не записано: «%2» не отмечен</translation>
        </message>
        <message>
            <source>The patch name "%1" is not a plain file name; patches are written into %2. Give a name without "/" or "\".</source>
            <translation>Имя патча «%1» — не простое имя файла; патчи записываются в %2. Укажите имя без «/» и «\».</translation>
        </message>
        <message>
            <source>"%1" (slot %2) and "%3" (slot %4) would both write %5; give one of them another name. Nothing was written.</source>
            <translation>«%1» (слот %2) и «%3» (слот %4) записали бы один файл %5; дайте одному из них другое имя. Ничего не записано.</translation>
        </message>
        <message>
            <source>Melodies (*.si3)|*.si3</source>
            <translation>Мелодии (*.si3)|*.si3</translation>
        </message>
        <message>
            <source>Pictures (*.bmp)|*.bmp</source>
            <translation>Картинки (*.bmp)|*.bmp</translation>
        </message>
        <message>
            <source>Animations (*.bmx)|*.bmx</source>
            <translation>Анимации (*.bmx)|*.bmx</translation>
        </message>
        <message>
            <source>Patch failed its check</source>
            <translation>Патч не прошёл проверку</translation>
        </message>
        <message>
            <source>Negative capacity</source>
            <translation>Отрицательная ёмкость</translation>
        </message>
        <message>
            <source>Slot outside the image</source>
            <translation>Слот вне образа</translation>
        </message>
        <message>
            <source>Name outside the image</source>
            <translation>Имя вне образа</translation>
        </message>
        <message>
            <source>Image changed since it was opened</source>
            <translation>Образ изменился после открытия</translation>
        </message>
        <message>
            <source>Block table damaged</source>
            <translation>Таблица блоков повреждена</translation>
        </message>
        <message>
            <source>The content area of "%1" ends before it starts (%2 to %3).</source>
            <translation>Область содержимого «%1» кончается раньше, чем начинается (от %2 до %3).</translation>
        </message>
        <message>
            <source>The content of "%1" (%2 to %3) lies outside the image %4 (%5 bytes).</source>
            <translation>Содержимое «%1» (от %2 до %3) лежит вне образа %4 (%5 байт).</translation>
        </message>
        <message>
            <source>The name text of "%1" at %2 lies outside the image %3 (%4 bytes).</source>
            <translation>Текст имени «%1» по адресу %2 лежит вне образа %3 (%4 байт).</translation>
        </message>
        <message>
            <source>%1 has %2 bytes, the slot holds %3</source>
            <translation>В %1 %2 байт, слот вмещает %3</translation>
        </message>
        <message>
            <source>is shorter than its 3-byte prefix</source>
            <translation>короче своего 3-байтового префикса</translation>
        </message>
        <message>
            <source>leaves the file</source>
            <translation>выходит за пределы файла</translation>
        </message>
        <message>
            <source>leaves its sector</source>
            <translation>выходит за пределы своего сектора</translation>
        </message>
        <message>
            <source>overlaps the header table of sector %1</source>
            <translation>перекрывает таблицу заголовков сектора %1</translation>
        </message>
        <message>
            <source>overlaps slot %1</source>
            <translation>перекрывает слот %1</translation>
        </message>
        <message>
            <source>overlaps slot %1 (%2)</source>
            <translation>перекрывает слот %1 (%2)</translation>
        </message>
        <message>
            <source>overlaps block %1 of sector %2</source>
            <translation>перекрывает блок %1 сектора %2</translation>
        </message>
        <message>
            <source>slot %1 (%2) %3: the image's block table is damaged</source>
            <translation>слот %1 (%2) %3: таблица блоков образа повреждена</translation>
        </message>
        <message>
            <source>its block %1: the image's block table is damaged</source>
            <translation>его блок %1: таблица блоков образа повреждена</translation>
        </message>
        <message>
            <source>%1: %2</source>
            <translation>%1: %2</translation>
        </message>
        <message>
            <source>%1 %2</source>
            <translation>%1 %2</translation>
        </message>
        <message>
            <source>is the opened image (or a file this run reads); it is never overwritten</source>
            <translation>— это открытый образ (или файл, который читает этот запуск); он никогда не перезаписывается</translation>
        </message>
        <message>
            <source>File too large</source>
            <translation>Файл слишком велик</translation>
        </message>
        <message>
            <source>Not a regular file</source>
            <translation>Не обычный файл</translation>
        </message>
        <message>
            <source>already exists</source>
            <translation>уже существует</translation>
        </message>
        <message>
            <source>the image changed while it was read</source>
            <translation>образ изменился во время чтения</translation>
        </message>
        <message>
            <source>Unknown error</source>
            <translation>Неизвестная ошибка</translation>
        </message>
        <message>
            <source>Read of %1 bytes at offset %2 lies outside the file (%3 bytes)</source>
            <translation>Чтение %1 байт по смещению %2 выходит за пределы файла (%3 байт)</translation>
        </message>
        <message>
            <source>File ended early (it changed while it was read)</source>
            <translation>Файл кончился раньше времени (он изменился во время чтения)</translation>
        </message>
        <message>
            <source>%1; the temporary file %2 was left</source>
            <translation>%1; временный файл %2 остался</translation>
        </message>
        <message>
            <source>%1; these files were already written: %2</source>
            <translation>%1; эти файлы уже были записаны: %2</translation>
        </message>
        <message>
            <source>is named twice as an output of this job</source>
            <translation>дважды назван выходным файлом этой задачи</translation>
        </message>
        <message>
            <source>the file kept being replaced by another program</source>
            <translation>файл всё время заменяла другая программа</translation>
        </message>
        <message>
            <source>is a dangling symbolic link, not a folder</source>
            <translation>— висячая символическая ссылка, а не папка</translation>
        </message>
        <message>
            <source>The written file failed its check (%1); %2</source>
            <translation>Записанный файл не прошёл проверку (%1); %2</translation>
        </message>
        <message>
            <source>File too large: %1 bytes, the limit is %2 bytes</source>
            <translation>Файл слишком велик: %1 байт, предел — %2 байт</translation>
        </message>
        <message>
            <source>nothing was written</source>
            <translation>ничего не записано</translation>
        </message>
        <message>
            <source>what was appended was cut off again</source>
            <translation>дописанное снова отрезано</translation>
        </message>
        <message>
            <source>what was appended is still in the file: it could not be cut off again</source>
            <translation>дописанное осталось в файле: его не удалось отрезать</translation>
        </message>
        <message>
            <source>another program kept the file locked for %1 seconds; nothing was written</source>
            <translation>другая программа держала файл заблокированным %1 с; ничего не записано</translation>
        </message>
        <message>
            <source>it does not read as a patch (%1); nothing was appended</source>
            <translation>он не читается как патч (%1); ничего не дописано</translation>
        </message>
        <message>
            <source>it holds a zero byte: it is no patch text; nothing was appended</source>
            <translation>в нём есть нулевой байт: это не текст патча; ничего не дописано</translation>
        </message>
        <message>
            <source>read after the text before it, the appended patch does not read as it was built</source>
            <translation>после предшествующего текста дописанный патч читается не так, как был построен</translation>
        </message>
        <message>
            <source>the old file was left as it was</source>
            <translation>старый файл оставлен как был</translation>
        </message>
        <message>
            <source>%1: cannot relocate sector A: %2</source>
            <translation>%1: сектор A нельзя перенести: %2</translation>
        </message>
        <message>
            <source>sector A's header table runs below the start of the sector (a header at offset %1)</source>
            <translation>таблица заголовков сектора A уходит ниже начала сектора (заголовок по смещению %1)</translation>
        </message>
        <message>
            <source>block %1 (header at offset %2) has its %3 data bytes at offset %4, outside sector A (%5..%6)</source>
            <translation>данные блока %1 (заголовок по смещению %2), %3 байт, лежат по смещению %4, вне сектора A (%5..%6)</translation>
        </message>
        <message>
            <source>an .eep EEPROM image keeps its blocks as records, not in header tables; only full-flash and .bin EEPROM images can be relocated</source>
            <translation>образ EEPROM .eep хранит блоки записями, а не в таблицах заголовков; перенести можно только фулфлеш и образ EEPROM .bin</translation>
        </message>
        <message>
            <source>the image is %1 bytes long and ends before the top of sector A's header table at offset %2</source>
            <translation>длина образа %1 байт, он кончается раньше вершины таблицы заголовков сектора A по смещению %2</translation>
        </message>
        <message>
            <source>block %1 (header at offset %2) is %3 bytes long, shorter than its 3-byte prefix: the block table is damaged</source>
            <translation>длина блока %1 (заголовок по смещению %2) %3 байт, он короче своего 3-байтового префикса: таблица блоков повреждена</translation>
        </message>
        <message>
            <source>block %1 (header at offset %2) %3: the block table is damaged</source>
            <translation>блок %1 (заголовок по смещению %2) %3: таблица блоков повреждена</translation>
        </message>
        <message>
            <source>the %1 valid blocks hold %2 data bytes, but only %3 fit between offset %4 and the end entry of the new header table at offset %5</source>
            <translation>в действующих блоках (%1) %2 байт данных, но между смещением %4 и концевой записью новой таблицы заголовков по смещению %5 помещается только %3</translation>
        </message>
        <message>
            <source>header entries of other statuses left below the new header table reach down to the moved data at %1..%2, so the table would have no proper end</source>
            <translation>записи заголовков других состояний, оставшиеся ниже новой таблицы, доходят до перенесённых данных в %1..%2, и у таблицы не было бы правильного конца</translation>
        </message>
        <message>
            <source>sector A's header table lists no valid (0xFC) or stale (0xF0) block</source>
            <translation>в таблице заголовков сектора A нет ни действующего (0xFC), ни устаревшего (0xF0) блока</translation>
        </message>
        <message>
            <source>it reads back as %1 bytes, not %2</source>
            <translation>при обратном чтении в нём %1 байт, а не %2</translation>
        </message>
        <message>
            <source>it reads back as %1 bytes or more, not %2</source>
            <translation>при обратном чтении в нём %1 байт или больше, а не %2</translation>
        </message>
        <message>
            <source>byte %1 reads back differently</source>
            <translation>байт %1 читается обратно иначе</translation>
        </message>
        <message>
            <source>it could not be read back: %1</source>
            <translation>его не удалось прочитать обратно: %1</translation>
        </message>
        <message>
            <source>line %1: %2: %3 bytes outside the bytes patched</source>
            <translation>строка %1: %2: %3 байт вне изменяемых байтов</translation>
        </message>
        <message>
            <source>line %1: %2: old byte %3 at %4, found %5</source>
            <translation>строка %1: %2: старый байт %3 по адресу %4, найден %5</translation>
        </message>
        <message>
            <source>it covers other bytes than the ones built</source>
            <translation>он затрагивает не те байты, что были построены</translation>
        </message>
        <message>
            <source>image offset %1 would become %2, not %3</source>
            <translation>по смещению %1 образа стало бы %2, а не %3</translation>
        </message>
        <message>
            <source>line %1, column %2: %3</source>
            <translation>строка %1, столбец %2: %3</translation>
        </message>
        <message>
            <source>data longer than %1 bytes, the largest image</source>
            <translation>данные длиннее %1 байт, самого большого образа</translation>
        </message>
        <message>
            <source>comment "/*" is never closed</source>
            <translation>комментарий «/*» нигде не закрыт</translation>
        </message>
        <message>
            <source>%1 is still enabled at the end of the patch</source>
            <translation>%1 всё ещё включён в конце патча</translation>
        </message>
        <message>
            <source>%1 is still disabled at the end of the patch</source>
            <translation>%1 всё ещё выключен в конце патча</translation>
        </message>
        <message>
            <source>offset %1 is still in force at the end of the patch</source>
            <translation>смещение %1 всё ещё действует в конце патча</translation>
        </message>
        <message>
            <source>"*/" without "/*" before it</source>
            <translation>«*/» без «/*» перед ним</translation>
        </message>
        <message>
            <source>unexpected text after the pragma: %1</source>
            <translation>лишний текст после прагмы: %1</translation>
        </message>
        <message>
            <source>bad offset: unexpected %1</source>
            <translation>неверное смещение: лишнее %1</translation>
        </message>
        <message>
            <source>record with more than old and new data: %1</source>
            <translation>в записи больше, чем старые и новые данные: %1</translation>
        </message>
        <message>
            <source>expected "#pragma enable NAME" or "#pragma disable NAME", got %1</source>
            <translation>ожидалось «#pragma enable ИМЯ» или «#pragma disable ИМЯ», а стоит %1</translation>
        </message>
        <message>
            <source>expected "#pragma enable NAME" or "#pragma disable NAME"</source>
            <translation>ожидалось «#pragma enable ИМЯ» или «#pragma disable ИМЯ»</translation>
        </message>
        <message>
            <source>unknown pragma %1</source>
            <translation>неизвестная прагма %1</translation>
        </message>
        <message>
            <source>"#pragma %1 %2" changes nothing: it is already enabled</source>
            <translation>«#pragma %1 %2» ничего не меняет: она уже включена</translation>
        </message>
        <message>
            <source>"#pragma %1 %2" changes nothing: it is already disabled</source>
            <translation>«#pragma %1 %2» ничего не меняет: она уже выключена</translation>
        </message>
        <message>
            <source>bad offset %1 (expected +HEX or -HEX, at most %2)</source>
            <translation>неверное смещение %1 (ожидалось +HEX или -HEX, не больше %2)</translation>
        </message>
        <message>
            <source>bad address %1 (expected hexadecimal, at most %2)</source>
            <translation>неверный адрес %1 (ожидалось шестнадцатеричное число, не больше %2)</translation>
        </message>
        <message>
            <source>not a record, offset or pragma: %1</source>
            <translation>не запись, не смещение и не прагма: %1</translation>
        </message>
        <message>
            <source>address lies below 0 (offset %1 in force)</source>
            <translation>адрес ниже 0 (действует смещение %1)</translation>
        </message>
        <message>
            <source>record without data</source>
            <translation>запись без данных</translation>
        </message>
        <message>
            <source>old data (%1 bytes) is shorter than new data (%2 bytes)</source>
            <translation>старые данные (%1 байт) короче новых (%2 байт)</translation>
        </message>
        <message>
            <source>the new data holds no bytes</source>
            <translation>в новых данных нет ни одного байта</translation>
        </message>
        <message>
            <source>record without old data: it cannot be checked or undone</source>
            <translation>запись без старых данных: её нельзя ни проверить, ни отменить</translation>
        </message>
        <message>
            <source>a number must be followed by a blank before a comment</source>
            <translation>между числом и комментарием нужен пробел</translation>
        </message>
        <message>
            <source>not data: %1</source>
            <translation>не данные: %1</translation>
        </message>
        <message>
            <source>a pragma stands on a line of its own</source>
            <translation>pragma пишется на отдельной строке</translation>
        </message>
        <message>
            <source>no comment between a record's address and its data</source>
            <translation>между адресом записи и её данными не бывает комментария</translation>
        </message>
        <message>
            <source>odd number of hexadecimal digits</source>
            <translation>нечётное число шестнадцатеричных цифр</translation>
        </message>
        <message>
            <source>"0x" without hexadecimal digits</source>
            <translation>«0x» без шестнадцатеричных цифр</translation>
        </message>
        <message>
            <source>a 0x number holds at most 8 digits (4 bytes)</source>
            <translation>в числе 0x не больше 8 цифр (4 байта)</translation>
        </message>
        <message>
            <source>"0n" without binary digits</source>
            <translation>«0n» без двоичных цифр</translation>
        </message>
        <message>
            <source>a 0n number holds at most 32 digits</source>
            <translation>в числе 0n не больше 32 цифр</translation>
        </message>
        <message>
            <source>wrong number of digits (%1) in a 0i number: 1 to 3, 5, 8, 10, 13, 15, 17 or 20</source>
            <translation>неверное число цифр (%1) в числе 0i: от 1 до 3, 5, 8, 10, 13, 15, 17 или 20</translation>
        </message>
        <message>
            <source>0i number out of range: %1 for %2 bytes</source>
            <translation>число 0i вне диапазона: %1 для %2 байт</translation>
        </message>
        <message>
            <source>string not closed before the line end</source>
            <translation>строка не закрыта до конца строки текста</translation>
        </message>
        <message>
            <source>"%1" in a string must be written escaped (\/)</source>
            <translation>«%1» в строке надо писать с экранированием (\/)</translation>
        </message>
        <message>
            <source>string not closed before the end of the text</source>
            <translation>строка не закрыта до конца текста</translation>
        </message>
        <message>
            <source>octal escape above \377</source>
            <translation>восьмеричная экранированная последовательность больше \377</translation>
        </message>
        <message>
            <source>\x needs two hexadecimal digits</source>
            <translation>после \x нужны две шестнадцатеричные цифры</translation>
        </message>
        <message>
            <source>\u needs four hexadecimal digits</source>
            <translation>для \u нужны четыре шестнадцатеричные цифры</translation>
        </message>
        <message>
            <source>\x above \x7F in a string in double quotes</source>
            <translation>\x больше \x7F в строке в двойных кавычках</translation>
        </message>
        <message>
            <source>\u only in a string in single quotes</source>
            <translation>\u только в строке в одинарных кавычках</translation>
        </message>
        <message>
            <source>unknown escape %1</source>
            <translation>неизвестная экранированная последовательность %1</translation>
        </message>
        <message>
            <source>line %1: %2: %3</source>
            <translation>строка %1: %2: %3</translation>
        </message>
        <message>
            <source>line %1: %2: conflict at image offset %3: expected %4, found %5</source>
            <translation>строка %1: %2: конфликт по смещению %3 образа: ожидалось %4, найдено %5</translation>
        </message>
        <message>
            <source>line %1: %2: outside the image (%3 bytes)</source>
            <translation>строка %1: %2: вне образа (%3 байт)</translation>
        </message>
        <message>
            <source>line %1: %2: unchecked (no old bytes)</source>
            <translation>строка %1: %2: без проверки (нет старых байтов)</translation>
        </message>
        <message>
            <source>%1 (overlaps line %2)</source>
            <translation>%1 (перекрывает строку %2)</translation>
        </message>
        <message>
            <source>%1 records: %2 apply, %3 applied, %4 conflict, %5 outside, %6 unchecked</source>
            <translation>записей: %1; применимы: %2, уже применены: %3, конфликтуют: %4, вне образа: %5, без проверки: %6</translation>
        </message>
        <message>
            <source>%1 records applied, %2 already in place</source>
            <translation>Применено записей: %1, уже на месте: %2</translation>
        </message>
        <message>
            <source>%1 records do not apply</source>
            <translation>Не применимо записей: %1</translation>
        </message>
        <message>
            <source>%1 records cannot be reverted</source>
            <translation>Нельзя откатить записей: %1</translation>
        </message>
        <message>
            <source>%1 records have no old bytes and cannot be checked</source>
            <translation>Записей без старых байтов (их нельзя проверить): %1</translation>
        </message>
        <message>
            <source>%1 records are marked not to be undone (#pragma disable undo), the first at line %2</source>
            <translation>Записей, помеченных как неоткатываемые (#pragma disable undo): %1, первая в строке %2</translation>
        </message>
        <message>
            <source>%1 records have no old bytes and cannot be reverted</source>
            <translation>Записей без старых байтов (их нельзя откатить): %1</translation>
        </message>
        <message>
            <source>holds no records</source>
            <translation>не содержит записей</translation>
        </message>
        <message>
            <source>replayed onto the old image it does not give the new one</source>
            <translation>применённый к старому образу, он не даёт новый</translation>
        </message>
        <message>
            <source>%1 is %2 but %3 is %4: a patch joins images of one kind</source>
            <translation>%1 — это %2, а %3 — %4: патч соединяет образы одного вида</translation>
        </message>
        <message>
            <source>%1 holds %2 bytes but %3 holds %4 bytes: a patch joins images of one length</source>
            <translation>в %1 %2 байт, а в %3 %4 байт: патч соединяет образы одной длины</translation>
        </message>
        <message>
            <source>%1 and %2 are equal: no patch written</source>
            <translation>%1 и %2 совпадают: патч не записан</translation>
        </message>
        <message>
            <source>the patch would hold %1 bytes, more than the %2 bytes a .vkp may hold: nothing written</source>
            <translation>в патче было бы %1 байт, больше %2 байт, допустимых для .vkp: ничего не записано</translation>
        </message>
    </context>
    <context>
        <name>carillon::ui::TForm1</name>
        <message>
            <source>About Carillon</source>
            <translation>О программе Carillon</translation>
        </message>
        <message>
            <source>%1 %2

Free software: you may share and change it under the GNU General Public License, version 3 or later (%3). It comes with no warranty.</source>
            <translation>%1 %2

Свободная программа: её можно распространять и изменять на условиях GNU General Public License версии 3 или любой более поздней (%3). Программа поставляется без каких-либо гарантий.</translation>
        </message>
        <message>
            <source>Open A52 Full Flash or EEPROM</source>
            <translation>Открыть полный флеш или EEPROM A52</translation>
        </message>
        <message>
            <source>V_KLay Full Flash or EEPROM (*.bin)|*.bin|Freia Full Flash or EEPROM (*.fls)|*.fls|Siemens EEPROM tool (*.eep)|*.eep|All Files|*.*</source>
            <translation>Полный флеш или EEPROM V_KLay (*.bin)|*.bin|Полный флеш или EEPROM Freia (*.fls)|*.fls|Файл Siemens EEPROM tool (*.eep)|*.eep|Все файлы|*.*</translation>
        </message>
        <message>
            <source>  Files  </source>
            <translation>  Файлы  </translation>
        </message>
        <message>
            <source>A52 Flash or EEPROM</source>
            <translation>Флеш или EEPROM A52</translation>
        </message>
        <message>
            <source>patch file directly</source>
            <translation>изменить образ</translation>
        </message>
        <message>
            <source>create backup</source>
            <translation>создать копию</translation>
        </message>
        <message>
            <source>create patch for V_KLay</source>
            <translation>патч для V_KLay</translation>
        </message>
        <message>
            <source>Save Patch To</source>
            <translation>Сохранить патч в</translation>
        </message>
        <message>
            <source>Use single patch</source>
            <translation>Один патч на все</translation>
        </message>
        <message>
            <source>Add Timestamp</source>
            <translation>Добавить время</translation>
        </message>
        <message>
            <source>  Information  </source>
            <translation>  Сведения  </translation>
        </message>
        <message>
            <source>Phone:</source>
            <translation>Телефон:</translation>
        </message>
        <message>
            <source>Version:</source>
            <translation>Версия:</translation>
        </message>
        <message>
            <source>File type:</source>
            <translation>Тип файла:</translation>
        </message>
        <message>
            <source>  Action  </source>
            <translation>  Действие  </translation>
        </message>
        <message>
            <source>Go</source>
            <translation>Пуск</translation>
        </message>
        <message>
            <source>Auto run V_KLay</source>
            <translation>Запустить V_KLay</translation>
        </message>
        <message>
            <source>Don't change melody name</source>
            <translation>Не менять имя мелодии</translation>
        </message>
        <message>
            <source>  Melodies, Pictures, Animations  </source>
            <translation>  Мелодии, картинки, анимации  </translation>
        </message>
        <message>
            <source>Melody</source>
            <translation>Мелодия</translation>
        </message>
        <message>
            <source>Size</source>
            <translation>Размер</translation>
        </message>
        <message>
            <source>Max</source>
            <translation>Макс.</translation>
        </message>
        <message>
            <source>Address</source>
            <translation>Адрес</translation>
        </message>
        <message>
            <source>Filename</source>
            <translation>Имя файла</translation>
        </message>
        <message>
            <source>Found</source>
            <translation>Найдено</translation>
        </message>
        <message>
            <source>Not Found</source>
            <translation>Не найдено</translation>
        </message>
        <message>
            <source>Edit Name</source>
            <translation>Изменить имя</translation>
        </message>
        <message>
            <source>  Path to V_KLay executable  </source>
            <translation>  Путь к программе V_KLay  </translation>
        </message>
        <message>
            <source>not found</source>
            <translation>не найден</translation>
        </message>
        <message>
            <source>empty slot ;)</source>
            <translation>пустой слот ;)</translation>
        </message>
        <message>
            <source>  Addresses  </source>
            <translation>  Адреса  </translation>
        </message>
        <message>
            <source>found melody address</source>
            <translation>адрес найденной мелодии</translation>
        </message>
        <message>
            <source>start</source>
            <translation>начало</translation>
        </message>
        <message>
            <source>end</source>
            <translation>конец</translation>
        </message>
        <message>
            <source>No content slots were found in %1: it does not look like a full flash or EEPROM image of an A52.</source>
            <translation>В %1 не найдено ни одного слота: это не похоже на фулфлеш или образ EEPROM телефона A52.</translation>
        </message>
        <message>
            <source>An unexpected error ended this action.</source>
            <translation>Непредвиденная ошибка прервала это действие.</translation>
        </message>
        <message>
            <source>V_KLay could not be started with the patch.<byte value="xd" />
Program: %1<byte value="xd" />
Reason: %2</source>
            <translation>Не удалось запустить V_KLay с патчем.<byte value="xd" />
Программа: %1<byte value="xd" />
Причина: %2</translation>
        </message>
        <message>
            <source>The image holds no melody name for this slot (another firmware or damaged bytes), so its name is not changed.</source>
            <translation>В образе нет имени мелодии для этого слота (другая прошивка или повреждённые байты), поэтому имя не меняется.</translation>
        </message>
        <message>
            <source>The picture in the image now</source>
            <translation>Картинка, которая сейчас в образе</translation>
        </message>
        <message>
            <source>The file "%1" is not a picture this window can show. It is written to the phone as it is.</source>
            <translation>Файл «%1» — не картинка, которую может показать это окно. Он будет записан в телефон как есть.</translation>
        </message>
        <message>
            <source>%1 x %2 pixels, %3 bits per pixel</source>
            <translation>%1 x %2 пикселей, %3 бит на пиксель</translation>
        </message>
        <message>
            <source>Drop "%1" on the row of the slot it is for.</source>
            <translation>Перетащите «%1» на строку нужного слота.</translation>
        </message>
        <message>
            <source>"%1" was not found in the image: no file can go there.</source>
            <translation>«%1» нет в образе: туда нельзя записать файл.</translation>
        </message>
        <message>
            <source>"%1" does not take "%2" files.</source>
            <translation>«%1» не принимает файлы «%2».</translation>
        </message>
        <message>
            <source>Save content as...</source>
            <translation>Сохранить содержимое как...</translation>
        </message>
        <message>
            <source>Save content as</source>
            <translation>Сохранить содержимое как</translation>
        </message>
        <message>
            <source>Nothing saved from "%1": %2</source>
            <translation>Из «%1» ничего не сохранено: %2</translation>
        </message>
        <message>
            <source>Open an image first</source>
            <translation>Сначала откройте образ</translation>
        </message>
        <message>
            <source>and %1 more</source>
            <translation>и ещё %1</translation>
        </message>
        <message>
            <source>Apply to a copy</source>
            <translation>Применить к копии</translation>
        </message>
        <message>
            <source>Revert to a copy</source>
            <translation>Откатить в копию</translation>
        </message>
        <message>
            <source>Wrote %1 (verified): %2</source>
            <translation>Записан %1 (проверено): %2</translation>
        </message>
        <message>
            <source>Files chosen or new names given for %1 are not written yet.
Open %2 instead? Names given are lost, and files chosen for slots that image lacks.</source>
            <translation>Выбранные файлы или новые имена для %1 ещё не записаны.
Открыть вместо него %2? Новые имена будут потеряны, как и файлы, выбранные для ячеек, которых в том образе нет.</translation>
        </message>
        <message>
            <source>%1 changed since it was opened; open it again.
Nothing was written. Open it again now? Chosen files and new names stay.</source>
            <translation>%1 изменился после открытия; откройте его заново.
Ничего не записано. Открыть его заново сейчас? Выбранные файлы и новые имена сохранятся.</translation>
        </message>
        <message>
            <source>"%1" was not opened: drop an image (.fls, .bin, .eep), a melody (.si3), picture (.bmp) or animation (.bmx) on its row, or a patch (.vkp).</source>
            <translation>«%1» не открыт: перетащите образ (.fls, .bin, .eep), мелодию (.si3), картинку (.bmp) или анимацию (.bmx) на её строку либо патч (.vkp).</translation>
        </message>
        <message>
            <source>"%1" is not a regular file; nothing was chosen for "%2".</source>
            <translation>«%1» — не обычный файл; для «%2» ничего не выбрано.</translation>
        </message>
        <message>
            <source>A melody name needs at least one character that is not a blank; "%1" keeps its name.</source>
            <translation>В имени мелодии должен быть хотя бы один символ, кроме пробела; «%1» сохраняет своё имя.</translation>
        </message>
        <message>
            <source>Written to the phone as "%1": a phone's melody name holds at most 11 of the letters A-Z and a-z, the digits, _-^!#()[] and the blank; every other character becomes "_".</source>
            <translation>В телефон запишется «%1»: имя мелодии в телефоне — не более 11 символов из латинских букв A-Z и a-z, цифр, _-^!#()[] и пробела; любой другой символ заменяется на «_».</translation>
        </message>
        <message>
            <source>V_KLay was not started: %1 does not exist.</source>
            <translation>V_KLay не запущен: %1 не существует.</translation>
        </message>
        <message>
            <source>%1
Nothing is written into this slot or saved from it.</source>
            <translation>%1
В эту ячейку ничего не записывается, и из неё ничего не сохраняется.</translation>
        </message>
    </context>
    <context>
        <name>Web</name>
        <message>
            <source>Nothing you open here leaves this page: every file is read and written in your browser.</source>
            <translation>Ничто из открытого здесь не покидает страницу: каждый файл читается и пишется в вашем браузере.</translation>
        </message>
        <message>
            <source>Image</source>
            <translation>Образ</translation>
        </message>
        <message>
            <source>Content</source>
            <translation>Содержимое</translation>
        </message>
        <message>
            <source>Patch for V_KLay</source>
            <translation>Патч для V_KLay</translation>
        </message>
        <message>
            <source>Patched image</source>
            <translation>Изменённый образ</translation>
        </message>
        <message>
            <source>Add timestamp</source>
            <translation>Добавить время</translation>
        </message>
        <message>
            <source>Patch workbench</source>
            <translation>Работа с патчем</translation>
        </message>
        <message>
            <source>Patch</source>
            <translation>Патч</translation>
        </message>
        <message>
            <source>Records</source>
            <translation>Записи</translation>
        </message>
        <message>
            <source>Line</source>
            <translation>Строка</translation>
        </message>
        <message>
            <source>Bytes</source>
            <translation>Байты</translation>
        </message>
        <message>
            <source>Verdict</source>
            <translation>Результат</translation>
        </message>
        <message>
            <source>Compare with</source>
            <translation>Сравнить с</translation>
        </message>
        <message>
            <source>Make patch</source>
            <translation>Создать патч</translation>
        </message>
        <message>
            <source>File for %1</source>
            <translation>Файл для %1</translation>
        </message>
        <message>
            <source>New name for %1</source>
            <translation>Новое имя для %1</translation>
        </message>
        <message>
            <source>Written as %1</source>
            <translation>Будет записано как %1</translation>
        </message>
        <message>
            <source>Opened %1</source>
            <translation>Открыт %1</translation>
        </message>
        <message>
            <source>Downloaded %1</source>
            <translation>Скачан %1</translation>
        </message>
        <message>
            <source>%1 goes into "%2"</source>
            <translation>%1 пойдёт в «%2»</translation>
        </message>
        <message>
            <source>Choose a file for a slot first</source>
            <translation>Сначала выберите файл для слота</translation>
        </message>
        <message>
            <source>%1: %2</source>
            <translation>%1: %2</translation>
        </message>
        <message>
            <source>%1 records, %2 bytes changed</source>
            <translation>записей: %1, изменено байт: %2</translation>
        </message>
    </context>
</TS>
