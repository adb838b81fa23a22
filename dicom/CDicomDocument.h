// A DICOM object held in memory: an element list that its kind of document fills.
#pragma once

#include "dicom/CDicomElementList.h"

// Root of the UIDs this system makes.
#define DICOM_ORGANISATION_ROOT L"1.2.999.424242"

class CDicomDocument : public CDicomElementList {
public:
    CDicomDocument() = default;
    ~CDicomDocument() override = default;
};
