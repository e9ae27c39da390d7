/* kd.h
 *
 * The device's additions to libgphoto2's ptp2 driver, as its hooks call them.
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
#ifndef KD_H
#define KD_H

/* Needs ptp.h and ptp-private.h before it, as the driver's own files have. */

/* Model rows: the bodies the device drives, under the names its software knows. */
int kd_model_listed (unsigned short usb_vendor, unsigned short usb_product);
int kd_models_append (CameraAbilitiesList *list);
void kd_model_flags (unsigned short usb_vendor, unsigned short usb_product, uint32_t *flags);

/* The vendor properties a Nikon Z answers without listing them. */
void kd_deviceinfo_fixup (Camera *camera, PTPDeviceInfo *di);

/* A property-changed report: 1 when it was turned into an event here. */
int kd_property_changed (Camera *camera, uint16_t code, CameraEventType *eventtype, void **eventdata, GPContext *context);

/* Widgets: the touch-focus point, the Nikon photo/movie settings, the Sony
 * program code. */
struct submenu;
int kd_get_touch_focus (Camera *camera, CameraWidget **widget, struct submenu *menu, PTPDevicePropDesc *dpd);
int kd_put_touch_focus (Camera *camera, CameraWidget *widget, PTPPropertyValue *propval, PTPDevicePropDesc *dpd);
int kd_get_nikon_photo_iso (Camera *camera, CameraWidget **widget, struct submenu *menu, PTPDevicePropDesc *dpd);
int kd_get_nikon_movie_iso (Camera *camera, CameraWidget **widget, struct submenu *menu, PTPDevicePropDesc *dpd);
int kd_get_nikon_movie_f_number (Camera *camera, CameraWidget **widget, struct submenu *menu, PTPDevicePropDesc *dpd);
int kd_put_nikon_setting (Camera *camera, CameraWidget *widget, PTPPropertyValue *propval, PTPDevicePropDesc *dpd);
int kd_get_live_view_selector (Camera *camera, CameraWidget **widget, struct submenu *menu, PTPDevicePropDesc *dpd);
int kd_put_live_view_selector (Camera *camera, CameraWidget *widget, PTPPropertyValue *propval, PTPDevicePropDesc *dpd);
int kd_get_sony_program (Camera *camera, CameraWidget **widget, struct submenu *menu, PTPDevicePropDesc *dpd);
int kd_put_sony_program (Camera *camera, CameraWidget *widget, PTPPropertyValue *propval, PTPDevicePropDesc *dpd);

#endif /* KD_H */
