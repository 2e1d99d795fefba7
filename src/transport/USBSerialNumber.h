#pragma once

#include "ModelId.h"

#include <QString>

// A unit's serial-number text, parsed: "QZ", flow letter A/B, variant letter H/P, 3-digit product,
// 2-digit revision, and in the 13-character form a 4-digit unit number or "XXXX".
class USBSerialNumber
{
public:
    // An invalid serial number with all numbers 0.
    USBSerialNumber();
    // Parses the text; case is ignored.
    explicit USBSerialNumber(const QString& text);

    bool isValid() const { return m_valid; }
    bool isUnnumbered() const { return m_unnumbered; }
    int variantCode() const { return m_variantCode; }
    int flowCode() const { return m_flowCode; }
    int product() const { return m_product; }
    int revision() const { return m_revision; }
    int unitNumber() const { return m_unitNumber; }
    // The numbers as far as the parse got, whether or not the text is valid.
    ModelId modelId() const { return ModelId(m_product, m_revision); }

    // The 9-character form, or empty when not valid.
    QString shortText() const;
    // The 13-character form ("XXXX" for an unnumbered unit), or empty when not valid.
    QString fullText() const;

private:
    bool m_valid;
    bool m_unnumbered;
    int m_variantCode;
    int m_flowCode;
    int m_product;
    int m_revision;
    int m_unitNumber;
};
