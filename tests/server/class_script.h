// The component's class script as self-registration applies it (with
// placeholder CLSID and LIBID), shared by the registrar tests and benchmark.
#pragma once

inline constexpr const char16_t* kClassScript =
    u"HKCR\r\n{\r\n"
    u"\ttolvek.Glimmark = s 'Glimmark Class'\r\n\t{\r\n"
    u"\t\tCLSID = s '{6C0D3A8E-4F2B-4B8E-9A51-2D7C9E0B1F34}'\r\n\t}\r\n"
    u"\tNoRemove CLSID\r\n\t{\r\n"
    u"\t\tForceRemove {6C0D3A8E-4F2B-4B8E-9A51-2D7C9E0B1F34} = s 'Glimmark Class'\r\n\t\t{\r\n"
    u"\t\t\tForceRemove Programmable\r\n"
    u"\t\t\tInprocServer32 = s '%MODULE%'\r\n\t\t\t{\r\n"
    u"\t\t\t\tval ThreadingModel = s 'Apartment'\r\n\t\t\t}\r\n"
    u"\t\t\tTypeLib = s '{0E5F2A71-93C4-4D6B-8E20-5A1B7C3D9F62}'\r\n"
    u"\t\t\tVersion = s '1.0'\r\n"
    u"\t\t}\r\n\t}\r\n}\r\n";
