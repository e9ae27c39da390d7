/* kd-models.c
 *
 * The bodies the device drives: model rows, their flags, the properties they leave unlisted.
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

#include <stdlib.h>
#include <string.h>

#include <gphoto2/gphoto2-library.h>
#include <gphoto2/gphoto2-port-log.h>

#include "ptp.h"
#include "ptp-bugs.h"
#include "ptp-private.h"
#include "kd.h"

enum kd_family { KD_SONY, KD_CANON, KD_NIKON };

/* The model strings are the ones the device's camera classes match; the flags
 * are those newer upstream releases give these bodies (the siblings' where
 * upstream has no row yet). USB ids: libgphoto2 2.5.30's camlibs/ptp2/library.c
 * (A7 III, A7 IV, A7S III, ZV-E10, EOS R6, EOS RP, Z9) and upstream's newer rows
 * (FX3 0x0da3, EOS R6m2 0x330b, Z8 0x0451); no public source gives the FX3A,
 * FX30 and ZV-E10 II ids, so these are the emulator's chosen ones
 * (sim/ptp/bodies/, unused by any libgphoto2 Sony row). */
static const struct kd_model {
	const char	*model;		/* "Vendor:Model", shown as "Vendor Model" */
	unsigned short	usb_vendor, usb_product;
	uint32_t	flags;
	enum kd_family	family;
} kd_models[] = {
	{ "Sony:Alpha-A7 III (PC Control)",	0x054c, 0x0c34, PTP_CAP|PTP_CAP_PREVIEW, KD_SONY },
	{ "Sony:Alpha-A7 IV (PC Control)",	0x054c, 0x0da7, PTP_CAP|PTP_CAP_PREVIEW, KD_SONY },
	{ "Sony:DSC-A7S III (Control)",		0x054c, 0x0d18, PTP_CAP|PTP_CAP_PREVIEW, KD_SONY },
	{ "Sony:ZV-E10 (Control)",		0x054c, 0x0d97, PTP_CAP|PTP_CAP_PREVIEW, KD_SONY },
	{ "Sony:ILME-FX3 (PC Control)",		0x054c, 0x0da3, PTP_CAP|PTP_CAP_PREVIEW, KD_SONY },
	{ "Sony:ILME-FX3A (PC Control)",	0x054c, 0x0f70, PTP_CAP|PTP_CAP_PREVIEW, KD_SONY },
	{ "Sony:ILME-FX30 (PC Control)",	0x054c, 0x0e5a, PTP_CAP|PTP_CAP_PREVIEW, KD_SONY },
	{ "Sony:ZV-E10M2 (Control)",		0x054c, 0x0ee8, PTP_CAP|PTP_CAP_PREVIEW, KD_SONY },
	{ "Canon:EOS R6",			0x04a9, 0x32f5, PTP_CAP|PTP_CAP_PREVIEW, KD_CANON },
	{ "Canon:EOS R6m2",			0x04a9, 0x330b, PTP_CAP|PTP_CAP_PREVIEW, KD_CANON },
	/* the RP keeps its session: closing it leaves the body unusable until replugged */
	{ "Canon:EOS RP",			0x04a9, 0x32e2, PTP_CAP|PTP_CAP_PREVIEW|PTP_DONT_CLOSE_SESSION, KD_CANON },
	{ "Nikon:Z8",				0x04b0, 0x0451, PTP_CAP|PTP_CAP_PREVIEW, KD_NIKON },
	{ "Nikon:Z9",				0x04b0, 0x0450, PTP_CAP|PTP_CAP_PREVIEW, KD_NIKON },
};

static const struct kd_model *
kd_model_find (unsigned short usb_vendor, unsigned short usb_product)
{
	unsigned int i;

	for (i = 0; i < sizeof(kd_models)/sizeof(kd_models[0]); i++)
		if (kd_models[i].usb_vendor == usb_vendor && kd_models[i].usb_product == usb_product)
			return &kd_models[i];
	return NULL;
}

int
kd_model_listed (unsigned short usb_vendor, unsigned short usb_product)
{
	return kd_model_find (usb_vendor, usb_product) != NULL;
}

int
kd_models_append (CameraAbilitiesList *list)
{
	unsigned int	i;
	CameraAbilities	a;
	int		ret;

	for (i = 0; i < sizeof(kd_models)/sizeof(kd_models[0]); i++) {
		const struct kd_model *m = &kd_models[i];

		memset (&a, 0, sizeof(a));
		strncpy (a.model, m->model, sizeof(a.model) - 1);
		a.status	= GP_DRIVER_STATUS_PRODUCTION;
		a.port		= GP_PORT_USB;
		a.usb_vendor	= m->usb_vendor;
		a.usb_product	= m->usb_product;
		a.device_type	= GP_DEVICE_STILL_CAMERA;
		/* all of them capture on a trigger from the computer and stream live view */
		a.operations	= GP_OPERATION_CONFIG | GP_OPERATION_CAPTURE_IMAGE |
				  GP_OPERATION_TRIGGER_CAPTURE | GP_OPERATION_CAPTURE_PREVIEW;
		a.file_operations	= GP_FILE_OPERATION_PREVIEW | GP_FILE_OPERATION_DELETE;
		a.folder_operations	= GP_FOLDER_OPERATION_MAKE_DIR | GP_FOLDER_OPERATION_REMOVE_DIR;
		/* Nikon bodies take no uploads */
		if (m->family != KD_NIKON)
			a.folder_operations |= GP_FOLDER_OPERATION_PUT_FILE;
		ret = gp_abilities_list_append (list, a);
		if (ret < GP_OK)
			return ret;
	}
	return GP_OK;
}

void
kd_model_flags (unsigned short usb_vendor, unsigned short usb_product, uint32_t *flags)
{
	const struct kd_model *m = kd_model_find (usb_vendor, usb_product);

	if (m)
		*flags = m->flags;
}

/* Vendor properties the Nikon Z bodies answer although their DeviceInfo does
 * not list them: exposure time, the photo/movie selector, the movie aperture
 * and the movie ISO.  Listed, the driver's widgets for them appear. */
static const uint16_t kd_nikon_unlisted[] = {
	PTP_DPC_NIKON_ExposureTime,
	PTP_DPC_NIKON_LiveViewSelector,
	PTP_DPC_NIKON_MovieFNumber,
	PTP_DPC_NIKON_MovieISO,
};

void
kd_deviceinfo_fixup (Camera *camera, PTPDeviceInfo *di)
{
	PTPParams		*params = &camera->pl->params;
	CameraAbilities		a;
	const struct kd_model	*m;
	unsigned int		i, j;
	uint16_t		*grown;

	if (gp_camera_get_abilities (camera, &a) != GP_OK)
		return;
	m = kd_model_find (a.usb_vendor, a.usb_product);
	if (!m || m->family != KD_NIKON || camera->port->type != GP_PORT_USB)
		return;
	for (i = 0; i < sizeof(kd_nikon_unlisted)/sizeof(kd_nikon_unlisted[0]); i++) {
		uint16_t		code = kd_nikon_unlisted[i];
		PTPDevicePropDesc	dpd;

		for (j = 0; j < di->DevicePropertiesSupported_len; j++)
			if (di->DevicePropertiesSupported[j] == code)
				break;
		if (j < di->DevicePropertiesSupported_len)
			continue;
		memset (&dpd, 0, sizeof(dpd));
		if (ptp_getdevicepropdesc (params, code, &dpd) != PTP_RC_OK)
			continue;
		ptp_free_devicepropdesc (&dpd);
		grown = realloc (di->DevicePropertiesSupported,
				 sizeof(grown[0]) * (di->DevicePropertiesSupported_len + 1));
		if (!grown)
			return;
		di->DevicePropertiesSupported = grown;
		di->DevicePropertiesSupported[di->DevicePropertiesSupported_len++] = code;
	}
}
