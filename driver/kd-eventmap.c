/* kd-eventmap.c
 *
 * Property changes reported with the device's own event types.
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
#include "kd-eventmap.h"

#include <ctype.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>

/* How a property's value becomes the event's value. */
enum kd_encoding {
	KD_RAW,		/* the value as the body sends it */
	KD_SWITCH,	/* recording: `on' gives 1, `off' 0, anything else no event */
	KD_BIT,		/* recording: bit `on' of the value */
	KD_SONY_ISO,	/* a plain ISO; automatic and the noise-reduction variants are not */
	KD_TEXT,	/* the driver's own text of the value ("3200", "f/5.6") x `on' */
	KD_TIME		/* numerator in the high, denominator in the low 16 bits */
};

struct kd_rule {
	uint32_t	vendor;
	uint16_t	code;
	int		type;
	int		encoding;
	int64_t		on, off;
	int		selector;	/* the mode the property belongs to, or unknown for both */
};

#define ANY KD_SELECTOR_UNKNOWN
#define PHOTO KD_SELECTOR_PHOTO
#define MOVIE KD_SELECTOR_MOVIE

/* A family reports with these only what its camera classes read back by value
 * and show as the event spells it; the rest of its changes stay the driver's
 * usual property events.  (A Canon aperture reads "5.6" from its widget but
 * would read "f/5.6" from an event: it stays a property event.) */
static const struct kd_rule kd_rules[] = {
	{ KD_VENDOR_SONY,  0xD21D, KD_EVENT_RECORDING,    KD_SWITCH,   1, 0, ANY },
	{ KD_VENDOR_SONY,  0x5007, KD_EVENT_APERTURE,     KD_RAW,      0, 0, ANY },
	{ KD_VENDOR_SONY,  0xD21E, KD_EVENT_ISO,          KD_SONY_ISO, 0, 0, ANY },
	{ KD_VENDOR_SONY,  0xD226, KD_EVENT_ISO,          KD_SONY_ISO, 0, 0, ANY },

	{ KD_VENDOR_CANON, 0xD1B8, KD_EVENT_RECORDING,    KD_SWITCH,   4, 0, ANY },
	{ KD_VENDOR_CANON, 0xD103, KD_EVENT_ISO,          KD_TEXT,     1, 0, ANY },

	{ KD_VENDOR_NIKON, 0xD0A4, KD_EVENT_RECORDING,    KD_BIT,     10, 0, ANY },
	{ KD_VENDOR_NIKON, 0x5007, KD_EVENT_APERTURE,     KD_RAW,      0, 0, PHOTO },
	{ KD_VENDOR_NIKON, 0xD1A9, KD_EVENT_APERTURE,     KD_RAW,      0, 0, MOVIE },
	{ KD_VENDOR_NIKON, 0x500F, KD_EVENT_ISO,          KD_RAW,      0, 0, PHOTO },
	{ KD_VENDOR_NIKON, 0xD1AA, KD_EVENT_ISO,          KD_RAW,      0, 0, MOVIE },
	{ KD_VENDOR_NIKON, 0x5005, KD_EVENT_WHITEBALANCE, KD_RAW,      0, 0, ANY },
	{ KD_VENDOR_NIKON, 0x500A, KD_EVENT_FOCUSMODE,    KD_RAW,      0, 0, ANY },
	{ KD_VENDOR_NIKON, 0xD100, KD_EVENT_SHUTTER,      KD_TIME,     0, 0, ANY },
	{ KD_VENDOR_NIKON, 0x500E, KD_EVENT_PROGRAM,      KD_RAW,      0, 0, ANY },
};

static const struct kd_rule *
kd_rule_for (uint32_t vendor, uint16_t code)
{
	size_t i;

	for (i = 0; i < sizeof(kd_rules)/sizeof(kd_rules[0]); i++)
		if (kd_rules[i].vendor == vendor && kd_rules[i].code == code)
			return &kd_rules[i];
	return NULL;
}

int
kd_eventmap_claims (uint32_t vendor, uint16_t code)
{
	return kd_rule_for (vendor, code) != NULL;
}

/* The driver's text as a positive number: "f/5.6", "5.6", "3200". */
static int
kd_text_number (const char *text, double *out)
{
	char	*end;
	double	v;

	if (!text)
		return 0;
	if (!strncmp (text, "f/", 2))
		text += 2;
	if (!isdigit ((unsigned char)text[0]))
		return 0;
	v = strtod (text, &end);
	if (*end != '\0' || !isfinite (v) || v <= 0)
		return 0;
	*out = v;
	return 1;
}

/* The value the event carries; 0 when it has none for this value. */
static int
kd_value (const struct kd_rule *rule, const struct kd_change *change, int64_t *value)
{
	int64_t	raw = change->raw;
	double	number;

	switch (rule->encoding) {
	case KD_RAW:
		if (rule->type == KD_EVENT_PROGRAM)
			return raw >= 0 && raw <= 0xFFFF && (*value = raw, 1);
		/* 0 and Sony's 0xFFFx are "no value shown", not f/0 or ISO 0 */
		if ((rule->type == KD_EVENT_APERTURE || rule->type == KD_EVENT_ISO) &&
		    (raw <= 0 || (raw >= 0xFFF0 && raw <= 0xFFFF)))
			return 0;
		if (raw < INT32_MIN || raw > UINT32_MAX)
			return 0;
		*value = raw;
		return 1;
	case KD_SWITCH:
		if (raw != rule->on && raw != rule->off)
			return 0;
		*value = raw == rule->on;
		return 1;
	case KD_BIT:
		*value = (raw >> rule->on) & 1;
		return 1;
	case KD_SONY_ISO:
		if (raw <= 0 || raw >= 0xFFFFFF)
			return 0;
		*value = raw;
		return 1;
	case KD_TEXT:
		if (!kd_text_number (change->text, &number))
			return 0;
		number = floor (number * (double)rule->on + 0.5);
		if (number < 1 || number > INT32_MAX)
			return 0;
		*value = (int64_t)number;
		return 1;
	case KD_TIME:
		if (raw < 0 || raw > UINT32_MAX || (raw & 0xFFFF) == 0 || (raw >> 16) == 0)
			return 0;
		*value = raw;
		return 1;
	default:
		return 0;
	}
}

int
kd_eventmap_block (const struct kd_change *change, int *type, void **block, size_t *size)
{
	const struct kd_rule	*rule = kd_rule_for (change->vendor, change->code);
	int64_t			value = 0;
	unsigned char		*data;
	size_t			n;
	int32_t			i32[2];
	uint32_t		u32;
	uint16_t		u16;

	if (!rule)
		return 0;
	/* A setting of the other mode is not what the camera shows now. */
	if (rule->selector != KD_SELECTOR_UNKNOWN && change->selector != KD_SELECTOR_UNKNOWN &&
	    rule->selector != change->selector)
		return 0;
	if (!kd_value (rule, change, &value))
		return 0;

	switch (rule->type) {
	case KD_EVENT_RECORDING:	n = 24; break;
	case KD_EVENT_SHUTTER:		n = 8; break;
	case KD_EVENT_PROGRAM:		n = 2; break;
	default:			n = 4; break;
	}
	data = calloc (1, n);
	if (!data)
		return 0;
	switch (rule->type) {
	case KD_EVENT_RECORDING:
		i32[0] = (int32_t)value;
		memcpy (data + 20, &i32[0], 4);
		break;
	case KD_EVENT_SHUTTER:
		i32[0] = (int32_t)((uint32_t)value >> 16);
		i32[1] = (int32_t)((uint32_t)value & 0xFFFF);
		memcpy (data, i32, 8);
		break;
	case KD_EVENT_PROGRAM:
		u16 = (uint16_t)value;
		memcpy (data, &u16, 2);
		break;
	default:
		u32 = (uint32_t)value;
		memcpy (data, &u32, 4);
		break;
	}
	*type = rule->type;
	*block = data;
	*size = n;
	return 1;
}
