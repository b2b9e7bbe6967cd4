#pragma once

#include <QString>

// Every caption that differs between the two interface languages, by window and control. The
// windows are designed in French; ApplyLanguage sets these in the language chosen.
enum class Caption {
    // main window
    Form1_mnuFile,
    Form1_mnuHide,
    Form1_mnuQuit,
    Form1_mnuHelp,
    Form1_mnuAbout,
    Form1_Frame2,
    Form1_Command1,
    // about box
    Form2_Title,
    Form2_Label2,
    Form2_Label4,
    Form2_Label5,
    Form2_Label4_OwnLoad, // what the box's own load writes: no blank before the colon
    // options dialog
    Options_Tab1,
    Options_Tab2,
    Options_fraSample1,
    Options_FileOption0,
    Options_FileOption1,
    Options_FileOption2,
    Options_Frame1,
    Options_Check1,
    Options_Check2,
    Options_Check8,
    Options_Check9,
    Options_Label5,
    Options_Frame6,
    Options_Check6,
    Options_Frame3,
    Options_Frame5,
    Options_Frame2,
    Options_Check3,
    Options_Label1,
    Options_Frame4,
    Options_Check4,
    Options_Label2,
    Options_Check5,
    Options_Label4,
    Options_cmdCancel,
    Options_cmdApply,
    Options_Check10,
    Options_Check11,
    Options_Check12,
    Options_Check13,
    Options_Check14,
    Options_Check15,
    Options_Label6,
    Options_Label7,
    Options_Label8,
    // the base-URL box's placeholder, swapped with the language
    Options_Text3_Placeholder,
};

// langue: 1 French, 0 English (see bilingual_text.h).
QString caption(Caption control, int langue);
// The window's own caption before any language switch: the French one, but for the few the
// table marks.
QString designCaption(Caption control);
