/* A control device with no elements. ALSA clients that enumerate cards
 * through a "default" control (RtAudio does) then find one card on machines
 * without sound hardware, so a file/null PCM can stand in for the device. */
#include <alsa/asoundlib.h>
#include <alsa/control_external.h>
#include <stdlib.h>
#include <string.h>

static void kfnull_close(snd_ctl_ext_t *ext) { free(ext); }
static int kfnull_elem_count(snd_ctl_ext_t *ext) { (void)ext; return 0; }
static int kfnull_elem_list(snd_ctl_ext_t *ext, unsigned int offset, snd_ctl_elem_id_t *id) {
    (void)ext; (void)offset; (void)id;
    return -EINVAL;
}
static snd_ctl_ext_key_t kfnull_find_elem(snd_ctl_ext_t *ext, const snd_ctl_elem_id_t *id) {
    (void)ext; (void)id;
    return SND_CTL_EXT_KEY_NOT_FOUND;
}
static int kfnull_get_attribute(snd_ctl_ext_t *ext, snd_ctl_ext_key_t key, int *type,
                                unsigned int *acc, unsigned int *count) {
    (void)ext; (void)key; (void)type; (void)acc; (void)count;
    return -EINVAL;
}

static const snd_ctl_ext_callback_t kfnull_callback = {
    .close = kfnull_close,
    .elem_count = kfnull_elem_count,
    .elem_list = kfnull_elem_list,
    .find_elem = kfnull_find_elem,
    .get_attribute = kfnull_get_attribute,
};

SND_CTL_PLUGIN_DEFINE_FUNC(kfnull) {
    (void)root; (void)conf;
    snd_ctl_ext_t *ext = calloc(1, sizeof(*ext));
    if (!ext) return -ENOMEM;
    ext->version = SND_CTL_EXT_VERSION;
    ext->card_idx = 0;
    strcpy(ext->id, "KfNull");
    strcpy(ext->driver, "kfnull");
    strcpy(ext->name, "Kestrafon null card");
    strcpy(ext->longname, "Kestrafon null card (file capture)");
    strcpy(ext->mixername, "none");
    ext->poll_fd = -1;
    ext->callback = &kfnull_callback;
    ext->private_data = NULL;
    int err = snd_ctl_ext_create(ext, name, mode);
    if (err < 0) {
        free(ext);
        return err;
    }
    *handlep = ext->handle;
    return 0;
}
SND_CTL_PLUGIN_SYMBOL(kfnull);
