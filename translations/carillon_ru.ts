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
    </context>
    <context>
        <name>carillon::ui::TForm1</name>
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
    </context>
</TS>
