/* kd-events.c
 *
 * Changes on the body reported with the device's own event types.
 *
 * Copyright 2026 The libPluginCameraCtrl developers
 *
 * This library is free software; you can redistribute it and/or
 * modify it under the terms of the GNU Lesser General Public
 * License as published by the Free Software Foundation; either
 * version 2.1 of the License, or (at your option) any later version.
 *
 * This library is distributed in the hope that it will be useful,
 * but WITHOUT ANY WARRANTY; without even the implied warranty of
 * MERCHANTABILITY or FITNESS FOR A PARTICULAR PURPOSE.  See the GNU
 * Lesser General Public License for more details.
 *
 * You should have received a copy of the GNU Lesser General Public
 * License along with this library; if not, write to the
 * Free Software Foundation, Inc., 51 Franklin Street, Fifth Floor,
 * Boston, MA  02110-1301  USA
 */
#include "config.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <gphoto2/gphoto2-library.h>
#include <gphoto2/gphoto2-port-log.h>

#include "ptp.h"
#include "ptp-private.h"
#include "kd.h"
#include "kd-eventmap.h"

/* Integer properties only; anything else has no event of ours. */
static int64_t
kd_raw (const PTPDevicePropDesc *dpd)
{
	const PTPPropertyValue *v = &dpd->CurrentValue;

	switch (dpd->DataType) {
	case PTP_DTC_INT8:	return v->i8;
	case PTP_DTC_UINT8:	return v->u8;
	case PTP_DTC_INT16:	return v->i16;
	case PTP_DTC_UINT16:	return v->u16;
	case PTP_DTC_INT32:	return v->i32;
	case PTP_DTC_UINT32:	return v->u32;
	case PTP_DTC_INT64:	return v->i64;
	case PTP_DTC_UINT64:	return (int64_t)v->u64;
	default:		return 0;
	}
}

/* A change report means the cached copy is old; the driver keeps it up to
 * two seconds otherwise. */
static void
kd_property_forget (PTPParams *params, uint16_t code)
{
	unsigned int i;

	for (i = 0; i < params->nrofdeviceproperties; i++)
		if (params->deviceproperties[i].desc.DevicePropertyCode == code)
			params->deviceproperties[i].timestamp = 0;
}

/* Where a Nikon's photo/movie selector stands: its ISO and aperture of the
 * other mode change unseen. */
static int
kd_selector (PTPParams *params)
{
	PTPDevicePropDesc	dpd;
	int			selector = KD_SELECTOR_UNKNOWN;

	if (params->deviceinfo.VendorExtensionID != PTP_VENDOR_NIKON)
		return selector;
	memset (&dpd, 0, sizeof(dpd));
	if (ptp_generic_getdevicepropdesc (params, PTP_DPC_NIKON_LiveViewSelector, &dpd) != PTP_RC_OK)
		return selector;
	selector = kd_raw (&dpd) == 1 ? KD_SELECTOR_MOVIE : KD_SELECTOR_PHOTO;
	ptp_free_devicepropdesc (&dpd);
	return selector;
}

int
kd_property_changed (Camera *camera, uint16_t code, CameraEventType *eventtype, void **eventdata, GPContext *context)
{
	PTPParams		*params = &camera->pl->params;
	uint32_t		vendor = params->deviceinfo.VendorExtensionID;
	PTPDevicePropDesc	dpd;
	struct kd_change	change;
	char			*name = NULL, *content = NULL;
	int			type, made;
	void			*block;
	size_t			size;
	uint16_t		ret;

	memset (&dpd, 0, sizeof(dpd));
	if (vendor == PTP_VENDOR_CANON) {
		/* EOS values arrive in the event batch itself: the cache is current */
		if (!kd_eventmap_claims (vendor, code))
			return 0;
		ret = ptp_canon_eos_getdevicepropdesc (params, code, &dpd);
	} else {
		kd_property_forget (params, code);
		ret = ptp_generic_getdevicepropdesc (params, code, &dpd);
		if (ret != PTP_RC_OK) {
			/* Bodies report properties they do not describe (a Z 9 with its
			 * AF-area mode): say it changed rather than fail the wait. */
			*eventtype = GP_EVENT_UNKNOWN;
			*eventdata = malloc (sizeof("PTP Property 0123 changed"));
			if (!*eventdata)
				return 0;
			sprintf (*eventdata, "PTP Property %04x changed", code);
			return 1;
		}
		if (!kd_eventmap_claims (vendor, code)) {
			ptp_free_devicepropdesc (&dpd);
			return 0;
		}
	}
	if (ret != PTP_RC_OK)
		return 0;
	dpd.DevicePropertyCode = code;

	memset (&change, 0, sizeof(change));
	change.vendor	= vendor;
	change.code	= code;
	change.raw	= kd_raw (&dpd);
	change.selector	= kd_selector (params);
	/* Canon's codes are the body's own scale; the driver's text is the value */
	if (vendor == PTP_VENDOR_CANON &&
	    camera_lookup_by_property (camera, &dpd, &name, &content, context) == GP_OK)
		change.text = content;
	made = kd_eventmap_block (&change, &type, &block, &size);
	free (name);
	free (content);
	ptp_free_devicepropdesc (&dpd);
	if (!made)
		return 0;
	GP_LOG_D ("property 0x%04x reported as event %d (%u bytes)", code, type, (unsigned int)size);
	/* types past the enumeration are the device's own; callers read them as int */
	*eventtype = (CameraEventType)type;
	*eventdata = block;
	return 1;
}
