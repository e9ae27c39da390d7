/* kd-widgets.c
 *
 * Widgets of the device's driver: the touch-focus point, the Nikon photo and movie settings, the photo/movie selector.
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
#include <math.h>
#include <unistd.h>

/* ---- touch focus ------------------------------------------------------- */

/* "(x, y)" or, with a mode flag after it, "(x, y) m"; fractions are rounded. */
static int
kd_touch_parse (const char *text, int *x, int *y)
{
	double	fx, fy;
	int	flag, n = 0;

	if (!text)
		return 0;
	if (sscanf (text, " ( %lf , %lf )%n", &fx, &fy, &n) != 2 || n == 0)
		return 0;
	text += n;
	if (*text && (sscanf (text, " %d %n", &flag, &n) != 1 || text[n] != '\0'))
		return 0;
	if (!isfinite (fx) || !isfinite (fy) || fx < 0 || fy < 0 || fx > 65535 || fy > 65535)
		return 0;
	*x = (int)lround (fx);
	*y = (int)lround (fy);
	return 1;
}

int
kd_get_touch_focus (Camera *camera, CameraWidget **widget, struct submenu *menu, PTPDevicePropDesc *dpd)
{
	gp_widget_new (GP_WIDGET_TEXT, "Touch Focus Point", widget);
	gp_widget_set_name (*widget, "kd_touch_focus");
	gp_widget_set_value (*widget, "");
	return GP_OK;
}

/* Waits while a Nikon is busy with what it was just asked to do. */
static uint16_t
kd_nikon_ready (PTPParams *params)
{
	uint16_t	ret;
	int		tries = 40;

	while ((ret = ptp_nikon_device_ready (params)) == PTP_RC_DeviceBusy && tries--)
		usleep (50 * 1000);
	return ret;
}

int
kd_put_touch_focus (Camera *camera, CameraWidget *widget, PTPPropertyValue *propval, PTPDevicePropDesc *dpd)
{
	PTPParams		*params = &camera->pl->params;
	PTPPropertyValue	value;
	char			*text = NULL;
	int			x, y;
	uint16_t		ret;

	CR (gp_widget_get_value (widget, &text));
	if (!kd_touch_parse (text, &x, &y)) {
		GP_LOG_E ("touch point '%s' is not (x, y)", text ? text : "");
		return GP_ERROR_BAD_PARAMETERS;
	}
	switch (params->deviceinfo.VendorExtensionID) {
	case PTP_VENDOR_SONY:
		/* the focus-area position: x in the high, y in the low half */
		value.u32 = ((uint32_t)x << 16) | (uint32_t)y;
		ret = ptp_sony_setdevicecontrolvaluea (params, PTP_DPC_SONY_AF_Area_Position, &value, PTP_DTC_UINT32);
		break;
	case PTP_VENDOR_CANON:
		ret = ptp_generic_no_data (params, PTP_OC_CANON_EOS_ZoomPosition, 2, x, y);
		break;
	case PTP_VENDOR_NIKON:
		ret = ptp_nikon_changeafarea (params, x, y);
		/* the AF area moves only in live view: start it and try once more */
		if (ret == PTP_RC_NIKON_NotLiveView && ptp_operation_issupported (params, PTP_OC_NIKON_StartLiveView)) {
			ret = ptp_nikon_start_liveview (params);
			if (ret == PTP_RC_OK)
				ret = kd_nikon_ready (params);
			if (ret == PTP_RC_OK)
				ret = ptp_nikon_changeafarea (params, x, y);
		}
		break;
	default:
		return GP_ERROR_NOT_SUPPORTED;
	}
	if (ret != PTP_RC_OK) {
		GP_LOG_E ("touch point (%d, %d) refused: 0x%04x", x, y, ret);
		return translate_ptp_result (ret);
	}
	return GP_OK;
}

/* ---- Nikon photo and movie settings ------------------------------------ */

static const struct kd_setting {
	const char	*name;
	const char	*label;
	uint16_t	code;
	int		fnumber;	/* f-number x 100, shown "f/5.6"; else a plain number */
} kd_settings[] = {
	{ "kd_nikon_photo_iso",		"Photo ISO Speed",	PTP_DPC_ExposureIndex,		0 },
	{ "kd_nikon_movie_iso",		"Movie ISO Speed",	PTP_DPC_NIKON_MovieISO,		0 },
	{ "kd_nikon_movie_f_numer",	"Movie F-Number",	PTP_DPC_NIKON_MovieFNumber,	1 },
};

static int
kd_value_get (const PTPPropertyValue *v, uint16_t type, int64_t *out)
{
	switch (type) {
	case PTP_DTC_INT8:	*out = v->i8; return 1;
	case PTP_DTC_UINT8:	*out = v->u8; return 1;
	case PTP_DTC_INT16:	*out = v->i16; return 1;
	case PTP_DTC_UINT16:	*out = v->u16; return 1;
	case PTP_DTC_INT32:	*out = v->i32; return 1;
	case PTP_DTC_UINT32:	*out = v->u32; return 1;
	default:		return 0;
	}
}

static int
kd_value_set (PTPPropertyValue *v, uint16_t type, int64_t in)
{
	switch (type) {
	case PTP_DTC_INT8:	if (in < INT8_MIN || in > INT8_MAX) return 0; v->i8 = (int8_t)in; return 1;
	case PTP_DTC_UINT8:	if (in < 0 || in > UINT8_MAX) return 0; v->u8 = (uint8_t)in; return 1;
	case PTP_DTC_INT16:	if (in < INT16_MIN || in > INT16_MAX) return 0; v->i16 = (int16_t)in; return 1;
	case PTP_DTC_UINT16:	if (in < 0 || in > UINT16_MAX) return 0; v->u16 = (uint16_t)in; return 1;
	case PTP_DTC_INT32:	if (in < INT32_MIN || in > INT32_MAX) return 0; v->i32 = (int32_t)in; return 1;
	case PTP_DTC_UINT32:	if (in < 0 || in > UINT32_MAX) return 0; v->u32 = (uint32_t)in; return 1;
	default:		return 0;
	}
}

static void
kd_setting_text (const struct kd_setting *s, int64_t v, char *buf, size_t len)
{
	if (s->fnumber)
		snprintf (buf, len, "f/%g", (double)v / 100.0);
	else
		snprintf (buf, len, "%lld", (long long)v);
}

static int
kd_setting_parse (const struct kd_setting *s, const char *text, int64_t *v)
{
	char	*end;
	double	d;

	if (!text)
		return 0;
	if (s->fnumber && !strncmp (text, "f/", 2))
		text += 2;
	d = strtod (text, &end);
	if (end == text || *end != '\0' || !isfinite (d) || d < 0 || d > 1e9)
		return 0;
	*v = (int64_t)floor (d * (s->fnumber ? 100.0 : 1.0) + 0.5);
	return 1;
}

/* An integer property as a widget of text choices, each value through `text'. */
static int
kd_get_enum (Camera *camera, CameraWidget **widget, CameraWidgetType type, const char *name,
	     const char *label, uint16_t code, void (*text) (const void *, uint16_t, int64_t, char *, size_t),
	     const void *ctx)
{
	PTPParams		*params = &camera->pl->params;
	PTPDevicePropDesc	dpd;
	char			buf[32];
	int64_t			v;
	int			i;

	memset (&dpd, 0, sizeof(dpd));
	C_PTP (ptp_generic_getdevicepropdesc (params, code, &dpd));
	if (!kd_value_get (&dpd.CurrentValue, dpd.DataType, &v)) {
		ptp_free_devicepropdesc (&dpd);
		return GP_ERROR_NOT_SUPPORTED;
	}
	gp_widget_new (type, label, widget);
	gp_widget_set_name (*widget, name);
	if (dpd.FormFlag == PTP_DPFF_Enumeration) {
		for (i = 0; i < dpd.FORM.Enum.NumberOfValues; i++) {
			int64_t choice;

			if (!kd_value_get (&dpd.FORM.Enum.SupportedValue[i], dpd.DataType, &choice))
				continue;
			text (ctx, dpd.DataType, choice, buf, sizeof(buf));
			gp_widget_add_choice (*widget, buf);
		}
	}
	text (ctx, dpd.DataType, v, buf, sizeof(buf));
	gp_widget_set_value (*widget, buf);
	if (dpd.GetSet == PTP_DPGS_Get)
		gp_widget_set_readonly (*widget, 1);
	ptp_free_devicepropdesc (&dpd);
	return GP_OK;
}

static void
kd_setting_choice (const void *ctx, uint16_t type, int64_t v, char *buf, size_t len)
{
	kd_setting_text (ctx, v, buf, len);
}

static int
kd_get_setting (Camera *camera, CameraWidget **widget, const struct kd_setting *s)
{
	return kd_get_enum (camera, widget, GP_WIDGET_RADIO, s->name, s->label, s->code, kd_setting_choice, s);
}

int
kd_get_nikon_photo_iso (Camera *camera, CameraWidget **widget, struct submenu *menu, PTPDevicePropDesc *dpd)
{
	return kd_get_setting (camera, widget, &kd_settings[0]);
}

int
kd_get_nikon_movie_iso (Camera *camera, CameraWidget **widget, struct submenu *menu, PTPDevicePropDesc *dpd)
{
	return kd_get_setting (camera, widget, &kd_settings[1]);
}

int
kd_get_nikon_movie_f_number (Camera *camera, CameraWidget **widget, struct submenu *menu, PTPDevicePropDesc *dpd)
{
	return kd_get_setting (camera, widget, &kd_settings[2]);
}

int
kd_put_nikon_setting (Camera *camera, CameraWidget *widget, PTPPropertyValue *propval, PTPDevicePropDesc *dpd)
{
	PTPParams		*params = &camera->pl->params;
	const struct kd_setting	*s = NULL;
	PTPDevicePropDesc	desc;
	PTPPropertyValue	value;
	const char		*name = NULL;
	char			*text = NULL;
	int64_t			v;
	unsigned int		i;
	uint16_t		ret;
	int			tries = 40;

	CR (gp_widget_get_name (widget, &name));
	for (i = 0; i < sizeof(kd_settings)/sizeof(kd_settings[0]); i++)
		if (name && !strcmp (name, kd_settings[i].name))
			s = &kd_settings[i];
	if (!s)
		return GP_ERROR_BAD_PARAMETERS;
	CR (gp_widget_get_value (widget, &text));
	if (!kd_setting_parse (s, text, &v))
		return GP_ERROR_BAD_PARAMETERS;
	memset (&desc, 0, sizeof(desc));
	C_PTP (ptp_generic_getdevicepropdesc (params, s->code, &desc));
	memset (&value, 0, sizeof(value));
	if (!kd_value_set (&value, desc.DataType, v)) {
		ptp_free_devicepropdesc (&desc);
		return GP_ERROR_BAD_PARAMETERS;
	}
	/* the body answers busy while it settles the previous change */
	while ((ret = ptp_generic_setdevicepropvalue (params, s->code, &value, desc.DataType)) == PTP_RC_DeviceBusy &&
	       tries--)
		usleep (50 * 1000);
	ptp_free_devicepropdesc (&desc);
	/* the next read shows what the body took, not the cached value */
	for (i = 0; i < params->nrofdeviceproperties; i++)
		if (params->deviceproperties[i].desc.DevicePropertyCode == s->code)
			params->deviceproperties[i].timestamp = 0;
	C_PTP (ret);
	return GP_OK;
}

/* ---- the photo/movie selector ------------------------------------------ */

int
kd_get_live_view_selector (Camera *camera, CameraWidget **widget, struct submenu *menu, PTPDevicePropDesc *dpd)
{
	PTPParams		*params = &camera->pl->params;
	PTPDevicePropDesc	desc;
	int64_t			v;
	int			value;

	memset (&desc, 0, sizeof(desc));
	C_PTP (ptp_generic_getdevicepropdesc (params, PTP_DPC_NIKON_LiveViewSelector, &desc));
	if (!kd_value_get (&desc.CurrentValue, desc.DataType, &v)) {
		ptp_free_devicepropdesc (&desc);
		return GP_ERROR_NOT_SUPPORTED;
	}
	ptp_free_devicepropdesc (&desc);
	/* 1: movie, 0: photo; a lever on the body, read only from here */
	value = (int)v;
	gp_widget_new (GP_WIDGET_TOGGLE, "Live View Selector", widget);
	gp_widget_set_name (*widget, "mrb-LiveViewSelector");
	gp_widget_set_value (*widget, &value);
	gp_widget_set_readonly (*widget, 1);
	return GP_OK;
}

int
kd_put_live_view_selector (Camera *camera, CameraWidget *widget, PTPPropertyValue *propval, PTPDevicePropDesc *dpd)
{
	return GP_ERROR_NOT_SUPPORTED;
}

/* ---- the Sony exposure program as its 32-bit code ---------------------- */

/* Sony's newer protocol sends the program as 32 bits: a group above the
 * 16-bit code.  Opened the older way, as this driver opens it, a body sends
 * the code alone (libgphoto2's cameras/sony-a7m4.txt); "500e" shows the 32-bit
 * form either way.  Groups as upstream's table of that protocol gives them
 * (commit a4c176e); a code in no range, or in two, keeps group 0. */
static const struct kd_program_group {
	uint16_t	first, last;
	uint16_t	group;
} kd_program_groups[] = {
	{ 0x0002, 0x0002, 0x0001 },	/* P */
	{ 0x0003, 0x0003, 0x0002 },	/* A */
	{ 0x0004, 0x0004, 0x0003 },	/* S */
	{ 0x8000, 0x8001, 0x0004 },	/* intelligent and superior auto */
	{ 0x8011, 0x801C, 0x0005 },	/* scenes */
	{ 0x8040, 0x8041, 0x0006 },	/* panoramas */
	{ 0x8050, 0x8054, 0x0007 },	/* movie */
	{ 0x8059, 0x805D, 0x0009 },	/* movie slow and quick motion */
	{ 0x8080, 0x8087, 0x0008 },	/* high frame rate, slow and quick motion */
	{ 0x8088, 0x8089, 0x000A },	/* movie, still */
	{ 0x808A, 0x808A, 0x000B },	/* F (movie or slow and quick) */
	{ 0x8090, 0x8090, 0x0007 },	/* movie F */
	{ 0x8091, 0x8091, 0x0009 },	/* slow and quick F */
	{ 0x8092, 0x8097, 0x000C },	/* interval recording */
};

static int64_t
kd_program_code (uint16_t type, int64_t v)
{
	unsigned int i;

	if (type != PTP_DTC_UINT16)
		return v;
	for (i = 0; i < sizeof(kd_program_groups)/sizeof(kd_program_groups[0]); i++)
		if (v >= kd_program_groups[i].first && v <= kd_program_groups[i].last)
			return ((int64_t)kd_program_groups[i].group << 16) | v;
	return v;
}

static void
kd_program_choice (const void *ctx, uint16_t type, int64_t v, char *buf, size_t len)
{
	snprintf (buf, len, "%lld", (long long)kd_program_code (type, v));
}

int
kd_get_sony_program (Camera *camera, CameraWidget **widget, struct submenu *menu, PTPDevicePropDesc *dpd)
{
	return kd_get_enum (camera, widget, GP_WIDGET_MENU, "500e", "Exposure Program Mode",
			    PTP_DPC_ExposureProgramMode, kd_program_choice, NULL);
}

int
kd_put_sony_program (Camera *camera, CameraWidget *widget, PTPPropertyValue *propval, PTPDevicePropDesc *dpd)
{
	PTPParams		*params = &camera->pl->params;
	PTPDevicePropDesc	desc;
	PTPPropertyValue	value;
	char			*text = NULL, *end;
	long long		v;
	uint16_t		type;

	CR (gp_widget_get_value (widget, &text));
	if (!text)
		return GP_ERROR_BAD_PARAMETERS;
	v = strtoll (text, &end, 10);
	if (end == text || *end != '\0' || v < 0 || v > UINT32_MAX)
		return GP_ERROR_BAD_PARAMETERS;
	memset (&desc, 0, sizeof(desc));
	C_PTP (ptp_generic_getdevicepropdesc (params, PTP_DPC_ExposureProgramMode, &desc));
	type = desc.DataType;
	ptp_free_devicepropdesc (&desc);
	/* a 16-bit body takes the code of a 32-bit form this widget would show */
	if (type == PTP_DTC_UINT16 && v > UINT16_MAX) {
		if (kd_program_code (type, v & 0xFFFF) != v)
			return GP_ERROR_BAD_PARAMETERS;
		v &= 0xFFFF;
	}
	memset (&value, 0, sizeof(value));
	if (!kd_value_set (&value, type, v))
		return GP_ERROR_BAD_PARAMETERS;
	C_PTP (ptp_generic_setdevicepropvalue (params, PTP_DPC_ExposureProgramMode, &value, type));
	return GP_OK;
}
