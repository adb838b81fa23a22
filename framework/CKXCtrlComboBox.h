// Combo box: the arrow opens a list in a drop-down popup below the control; the chosen text
// goes into the edit part and the container is told.
#pragma once

#include <cstdint>

#include "framework/CKXCtrlComboBase.h"
#include "framework/CKXCtrlListBox.h"

class CKXCtrlComboBox : public CKXCtrlComboBase {
public:
    CKXCtrlComboBox() = default;
    ~CKXCtrlComboBox() override = default;

    int maxRows = 10;
    CKXCtrlListBox dropList;

    CString GetEditText() override;
    void DropDown(float x, float y, float width, float scale, CKXCtrlCursor* ctx) override;

    // Appends an item; returns the item count.
    int AddItem(CString text, intptr_t data);
    void SetCurSel(int index);
    // Height in pixels of the drop-down for the current items.
    int DropHeight(float scale) const;
};
