#include "extra/Proconst.h"

namespace extra {

namespace {
// The captions, one row per language, in the order of TProButtonBase.
const char* const kCaptions[kProLanguageCount][14] = {
    {"OK", "Cancel", "&Help", "&Yes", "&No", "&Close", "Abort", "&Retry", "&Ignore", "&All", "&Done",
     "< &Back", "&Next >", "&Finish"},
    {"OK", "Отмена", "&Справка", "&Да", "&Нет", "&Закрыть", "Прервать", "&Повторить", "&Пропустить", "&Все",
     "&Готово", "< &Назад", "&Далее >", "&Завершить"},
    {"OK", "Скасувати", "&Довідка", "&Так", "&Ні", "&Закрити", "Перервати", "&Повторити", "&Пропустити",
     "&Усі", "&Готово", "< &Назад", "&Далі >", "&Завершити"},
    {"OK", "Annuler", "&Aide", "&Oui", "&Non", "&Fermer", "Abandonner", "&Réessayer", "&Ignorer", "&Tous",
     "&Terminé", "< &Précédent", "&Suivant >", "&Terminer"},
    {"OK", "Cancelar", "&Ajuda", "&Sim", "&Não", "&Fechar", "Anular", "&Repetir", "&Ignorar", "&Todos",
     "&Concluído", "< &Voltar", "&Avançar >", "&Concluir"},
    {"Aceptar", "Cancelar", "&Ayuda", "&Sí", "&No", "&Cerrar", "Abortar", "&Reintentar", "&Omitir", "&Todos",
     "&Hecho", "< &Atrás", "&Siguiente >", "&Finalizar"},
    {"OK", "Abbrechen", "&Hilfe", "&Ja", "&Nein", "&Schließen", "Abbrechen", "&Wiederholen", "&Ignorieren",
     "&Alle", "&Fertig", "< &Zurück", "&Weiter >", "&Fertig stellen"},
    {"OK", "Annuller", "&Hjælp", "&Ja", "&Nej", "&Luk", "Afbryd", "&Prøv igen", "&Ignorer", "&Alle",
     "&Udført", "< &Tilbage", "&Næste >", "&Afslut"},
    {"OK", "Annulla", "&Guida", "&Sì", "&No", "&Chiudi", "Interrompi", "&Riprova", "&Ignora", "&Tutti",
     "&Fatto", "< &Indietro", "&Avanti >", "&Fine"},
    {"OK", "Avbryt", "&Hjälp", "&Ja", "&Nej", "&Stäng", "Avbryt", "&Försök igen", "&Ignorera", "&Alla",
     "&Klar", "< &Tillbaka", "&Nästa >", "&Slutför"},
    {"OK", "Annuleren", "&Help", "&Ja", "&Nee", "&Sluiten", "Afbreken", "&Opnieuw", "&Negeren", "&Alles",
     "&Gereed", "< &Vorige", "&Volgende >", "&Voltooien"},
    {"OK", "Anuluj", "&Pomoc", "&Tak", "&Nie", "&Zamknij", "Przerwij", "&Ponów", "&Ignoruj", "&Wszystkie",
     "&Gotowe", "< &Wstecz", "&Dalej >", "&Zakończ"},
    {"OK", "Mégse", "&Súgó", "&Igen", "&Nem", "&Bezárás", "Megszakítás", "Ú&jra", "&Kihagyás", "&Mind",
     "&Kész", "< &Vissza", "&Tovább >", "&Befejezés"},
    {"Tamam", "İptal", "&Yardım", "&Evet", "&Hayır", "&Kapat", "Durdur", "&Yeniden dene", "&Yoksay", "&Tümü",
     "&Bitti", "< &Geri", "&İleri >", "&Son"},
    {"OK", "Zrušiť", "&Pomocník", "Án&o", "&Nie", "&Zavrieť", "Prerušiť", "&Opakovať", "&Ignorovať",
     "&Všetky", "&Hotovo", "< &Späť", "Ď&alej >", "&Dokončiť"},
};
} // namespace

TProButtonBase ProButtonBase(TProButtonKind kind) {
    if (kind <= pbkOk) return TProButtonBase::Ok;
    return static_cast<TProButtonBase>(1 + (kind - 2) / kProLanguageCount);
}

int ProButtonLanguage(TProButtonKind kind) {
    if (kind <= pbkOk) return 0;
    return (kind - 2) % kProLanguageCount;
}

int ProButtonCaptionId(TProButtonKind kind) {
    if (kind == pbkCustom) return 0;
    return kProCaptionFirstId + 20 * ProButtonLanguage(kind) + static_cast<int>(ProButtonBase(kind));
}

std::string LoadProString(int id) {
    int offset = id - kProCaptionFirstId;
    if (offset < 0) return {};
    int language = offset / 20, base = offset % 20;
    if (language >= kProLanguageCount || base >= 14) return {};
    return kCaptions[language][base];
}

} // namespace extra
