#include "StandardOperations.h"

namespace camsim {
namespace ptp {

std::vector<uint8_t> StandardOperations::PackDeviceInfo(const Body& b) {
    Packer out;
    out.U16(b.standardVersion);
    out.U32(b.vendorExtensionId);
    out.U16(b.vendorExtensionVersion);
    out.String(b.vendorExtensionDesc);
    out.U16(b.functionalMode);
    out.U16Array(b.operations);
    out.U16Array(b.events);
    out.U16Array(b.deviceProperties);
    out.U16Array(b.captureFormats);
    out.U16Array(b.imageFormats);
    out.String(b.manufacturer);
    out.String(b.model);
    out.String(b.deviceVersion);
    out.String(b.serialNumber);
    return out.Take();
}

void StandardOperations::PackPropDesc(Packer& out, const Property& p, const Value& current) {
    out.U16(p.code);
    out.U16(p.type);
    out.U8(p.writable ? 1 : 0);
    out.Typed(p.type, p.factory);
    out.Typed(p.type, current);
    out.U8(static_cast<uint8_t>(p.form));
    if (p.form == Property::Form::Range) {
        out.Typed(p.type, p.min);
        out.Typed(p.type, p.max);
        out.Typed(p.type, p.step);
    } else if (p.form == Property::Form::Enum) {
        out.U16(static_cast<uint16_t>(p.values.size()));
        for (const Value& v : p.values)
            out.Typed(p.type, v);
    }
}

uint16_t StandardOperations::SetProperty(BodyModel& body, uint16_t code, const std::vector<uint8_t>& data) {
    const Property* p = body.Find(code);
    if (!p)
        return kDevicePropNotSupported;
    Unpacker in(data);
    Value v;
    if (!in.Typed(p->type, &v))
        return kInvalidDevicePropFormat;
    body.LogSet(code, v);
    if (!p->writable)
        return kAccessDenied;
    if (!Allowed(*p, v))
        return kInvalidDevicePropValue;
    body.ChangeAt(code, v, body.NowMs() + body.SettleMs());
    return kOk;
}

bool StandardOperations::Handle(Exchange& x) {
    const Command& c = x.cmd;
    Reply& r = x.reply;
    const Body& b = x.body.Data();
    if (c.code == kGetDeviceInfo) {
        r.SetData(PackDeviceInfo(b));
        return true;
    }
    if (c.code == kOpenSession) {
        if (x.session.open) {
            r.code = kSessionAlreadyOpen;
            r.params = {x.session.id};
        } else if (c.Param(0) == 0) {
            r.code = kInvalidParameter;
        } else {
            x.session = Session();
            x.session.open = true;
            x.session.id = c.Param(0);
        }
        return true;
    }
    if (!b.Offers(c.code) && c.code != kCloseSession)
        return false;
    if (!x.session.open) {
        r.code = kSessionNotOpen;
        return true;
    }
    switch (c.code) {
        case kCloseSession:
            x.session = Session();
            return true;
        case kGetStorageIds: {
            Packer out;
            out.U32Array({});
            r.SetData(out.Take());
            return true;
        }
        case kGetStorageInfo:
            r.code = kInvalidStorageId;
            return true;
        case kGetNumObjects:
            r.params = {0};
            return true;
        case kGetObjectHandles: {
            Packer out;
            out.U32Array({});
            r.SetData(out.Take());
            return true;
        }
        case kGetDevicePropDesc:
        case kGetDevicePropValue: {
            const Property* p = x.body.Find(static_cast<uint16_t>(c.Param(0)));
            if (!p || c.Param(0) > 0xFFFF) {
                r.code = kDevicePropNotSupported;
                return true;
            }
            Packer out;
            if (c.code == kGetDevicePropDesc)
                PackPropDesc(out, *p, x.body.Current(*p));
            else
                out.Typed(p->type, x.body.Current(*p));
            r.SetData(out.Take());
            return true;
        }
        case kSetDevicePropValue:
            if (!x.dataOut) {
                r.code = kInvalidDevicePropFormat;
                return true;
            }
            r.code = c.Param(0) > 0xFFFF ? static_cast<uint16_t>(kDevicePropNotSupported)
                                         : SetProperty(x.body, static_cast<uint16_t>(c.Param(0)), *x.dataOut);
            return true;
        default:
            return false;
    }
}

}  // namespace ptp
}  // namespace camsim
