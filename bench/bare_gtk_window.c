/* The start-up baselines: the least a GTK 3 program does to show a window; with "--label"
 * the window shows one line of text (the first text drawn pays for loading the font
 * configuration); with "--application ID" the window lives in a GtkApplication that
 * registers ID on the session bus first (as a single-instance program must). */
#include <gtk/gtk.h>
#include <string.h>

static gboolean withLabel = FALSE;

static void showWindow(GtkApplication* application) {
  GtkWidget* window = application ? gtk_application_window_new(application) : gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window), 1000, 700);
  if (withLabel) gtk_container_add(GTK_CONTAINER(window), gtk_label_new("Scanning the local network"));
  if (!application) g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), NULL);
  gtk_widget_show_all(window);
}

static void activate(GtkApplication* application, gpointer unused) {
  (void)unused;
  showWindow(application);
}

int main(int argc, char** argv) {
  if (argc > 1 && strcmp(argv[1], "--label") == 0) {
    withLabel = TRUE;
    argv[1] = argv[0];
    ++argv;
    --argc;
  }
  if (argc == 3 && strcmp(argv[1], "--application") == 0) {
    GtkApplication* application = gtk_application_new(argv[2], G_APPLICATION_DEFAULT_FLAGS);
    g_signal_connect(application, "activate", G_CALLBACK(activate), NULL);
    char* plain[] = {argv[0], NULL};
    const int status = g_application_run(G_APPLICATION(application), 1, plain);
    g_object_unref(application);
    return status;
  }
  gtk_init(&argc, &argv);
  showWindow(NULL);
  gtk_main();
  return 0;
}
