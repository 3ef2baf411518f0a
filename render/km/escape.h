// The escape handlers behind DDI_DrvEscape (escape.cpp). Every handler takes
// (PDEV, input size, input, output size, output) and answers the escape's
// result: 1 done, -1 refused or failed (wrong size, null buffer, no memory,
// a failed in-band send), 0 where the escape reports "not supported" or an
// error code (GETTECHNOLOGY and GetIsFax set error 87 with it).
//
// The dispatcher checks the PDEV (a valid one, or error 87 and 0) and the mute
// bit before a handler runs: the handlers take a valid PDEV.
#pragma once

#include "kestrel/render/km_escape.h"
#include "kestrel/render/pdev.h"

#define KM_ESCAPE_HANDLER(name) LONG name(PDEV* pdev, ULONG cjIn, const void* pvIn, ULONG cjOut, void* pvOut)

KM_ESCAPE_HANDLER(ctlfc_SetCopyCount);       // SETCOPYCOUNT
KM_ESCAPE_HANDLER(ctlfc_GetTechnology);      // GETTECHNOLOGY
KM_ESCAPE_HANDLER(ctlfc_GetPageInfo);        // 0x5001
KM_ESCAPE_HANDLER(ctlfc_GetDevMode);         // 0x5002
KM_ESCAPE_HANDLER(ctlfc_GetSetStampMode);    // 0x5003
KM_ESCAPE_HANDLER(ctlfc_SetPaperOffset);     // 0x5004
KM_ESCAPE_HANDLER(ctlfc_SetDevMode);         // 0x5005
KM_ESCAPE_HANDLER(ctlfc_GetHeaderFooter);    // 0x5006
KM_ESCAPE_HANDLER(ctlfc_SetHeaderFooter);    // 0x5007
KM_ESCAPE_HANDLER(ctlfc_GetSetHeaderMode);   // 0x5008
KM_ESCAPE_HANDLER(ctlfc_GetIsFax);           // 0x5009
KM_ESCAPE_HANDLER(ctlfc_GetPageNumber);      // 0x500A
KM_ESCAPE_HANDLER(ctlfc_SetPrinterData);     // 0x500B
KM_ESCAPE_HANDLER(ctlfc_SetAppMargin);       // 0x5010
KM_ESCAPE_HANDLER(ctlfc_SetStartDocFlag);    // 0x5020
KM_ESCAPE_HANDLER(ctlfc_SetStatus);          // 0x5021
KM_ESCAPE_HANDLER(ctlfc_SetDocName);         // 0x5023
KM_ESCAPE_HANDLER(ctlfc_SetFaxAddressInfo);  // 0x5024
KM_ESCAPE_HANDLER(ctlfc_SetJCLHeader);       // 0x5025
KM_ESCAPE_HANDLER(ctlfc_GetPEscapeStatus);   // 0x5028
KM_ESCAPE_HANDLER(ctlfc_SetPEscapeStatus);   // 0x5029
KM_ESCAPE_HANDLER(ctlfc_Query_EMFSpool);     // 0x502A
KM_ESCAPE_HANDLER(ctlfc_DisableFormFile);    // 0x502B
KM_ESCAPE_HANDLER(ctlfc_SetCSDX);            // 0x502C
KM_ESCAPE_HANDLER(ctlfc_SetGSBDATA);         // 0x502D
KM_ESCAPE_HANDLER(ctlfc_GetGSBDATA);         // 0x502E
KM_ESCAPE_HANDLER(ctlfc_SetGSBJCID);         // 0x502F
KM_ESCAPE_HANDLER(ctlfc_SetGSBSTATUS);       // 0x5030
KM_ESCAPE_HANDLER(ctlfc_SetExtGSBDATA);      // 0x5031
KM_ESCAPE_HANDLER(ctlfc_SetLetterFlag);      // 0x5100

// The page number job control keeps (0-based: the logical pages completed),
// as 0x500A answers it and 0x5006 writes it plus one.
WORD escape_PageNumber(const PDEV* pdev);

// The private gate (4209-4212, 4216) and its entry pesc_Escape: pesc.h.
